#include "PageBase.h"

#include "LangForms.h"

TfrmPageBase::TfrmPageBase(IPageHost* host, const QString& formName) : QWidget(nullptr), host_(host)
{
    SetFormName(this, formName);
}
