#include "PageBase.h"

#include "LangForms.h"
#include "MainForm.h"

TfrmPageBase::TfrmPageBase(TfrmMain* owner, const QString& formName) : QWidget(nullptr), owner_(owner) {
    SetFormName(this, formName);
}
