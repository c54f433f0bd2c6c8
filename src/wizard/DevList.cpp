#include "DevList.h"

#include "AdvMain.h"
#include "CameraFamily.h"
#include "Clock.h"
#include "Controls.h"
#include "CurrentCamera.h"
#include "DeviceList.h"
#include "FamilyRegistry.h"
#include "LangForms.h"
#include "Look.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStandardItemModel>
#include <QVBoxLayout>

namespace {

constexpr int kMacRole = Qt::UserRole;

void SetIfChanged(QStandardItemModel* m, int row, int column, const QString& text) {
    QStandardItem* it = m->item(row, column);
    if (it->text() != text)
        it->setText(text);
}

}  // namespace

TfrmEsy_DevList::TfrmEsy_DevList(IPageHost* host) : TWizardPage(host, QStringLiteral("frmEsy_DevList")) {
    BuildFrame();

    Rows = new QStandardItemModel(0, ColumnCount, this);
    const QStringList captions = {QStringLiteral("#"), QStringLiteral("SN"), QStringLiteral("Series"),
                                  QStringLiteral("IP Address"), QStringLiteral("Port"), QStringLiteral("MAC")};
    for (int c = 0; c < ColumnCount; ++c)
        Rows->setHeaderData(c, Qt::Horizontal, captions[c]);
    ListView1 = new TListView(Panel1);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setModel(Rows);
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setAllColumnsShowFocus(true);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->header()->setSectionsMovable(false);
    const int widths[ColumnCount] = {36, 110, 52, 120, 50, 140};
    for (int c = 0; c < ColumnCount; ++c)
        ListView1->setColumnWidth(c, widths[c]);

    plInfo = new TPanel(ListView1->viewport(), QStringLiteral("plInfo"));
    QPalette red = plInfo->palette();
    red.setColor(QPalette::WindowText, QColor(220, 0, 0));
    plInfo->setPalette(red);
    plInfo->setGeometry(20, 60, 520, 30);

    btnRefresh = new QPushButton(Panel1);
    btnRefresh->setObjectName(QStringLiteral("btnRefresh"));
    btnRefresh->setText(QStringLiteral("&Refresh"));
    btnRefresh->setMinimumSize(84, 26);
    btnRefresh->setEnabled(false);
    Image1 = new TImage(Panel1, QStringLiteral("Image1"));
    Image1->SetPicture(Picture(QStringLiteral("help.png")));
    Image1->setFixedSize(18, 18);
    Label2 = MakeLinkLabel(Panel1, QStringLiteral("Label2"), QColor(110, 110, 110));
    Label1 = new QLabel(Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);

    auto* help = new QHBoxLayout;
    help->addWidget(Image1);
    help->addWidget(Label2);
    help->addStretch(1);
    help->addWidget(btnRefresh);
    auto* box = new QVBoxLayout(Panel1);
    box->setContentsMargins(12, 12, 12, 12);
    box->addWidget(ListView1, 1);
    box->addLayout(help);
    box->addWidget(Label1);

    ApplyLanguage(this);

    connect(btnRefresh, &QPushButton::clicked, this, &TfrmEsy_DevList::btnRefreshClick);
    connect(qobject_cast<TClickLabel*>(Label2), &TClickLabel::clicked, this, &TfrmEsy_DevList::Label2Click);
    connect(ListView1, &QAbstractItemView::doubleClicked, this, [this] { Next(); });
}

TfrmEsy_DevList::~TfrmEsy_DevList() = default;

void TfrmEsy_DevList::FormShow() {
    if (!timer1_)
        timer1_ = Clock().Every(kRefreshMs, [this] { Refresh(true); });
    Refresh(false);
    btnRefresh->setEnabled(true);
}

void TfrmEsy_DevList::FormHide() {
    // The timer keeps running; its refreshes do nothing while the page is hidden.
    btnRefresh->setEnabled(false);
}

int TfrmEsy_DevList::SelectedRow() const {
    const QModelIndexList rows = ListView1->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

QString TfrmEsy_DevList::CellText(int row, int column) const {
    const QStandardItem* it = Rows->item(row, column);
    return it ? it->text() : QString();
}

void TfrmEsy_DevList::Refresh(bool fromTimer) {
    if (!isVisible())
        return;
    const TDeviceList& list = Devices();
    const TFamilyRegistry& families = Host()->Families();
    const int before = Rows->rowCount();
    QString selectedMac;
    if (const int sel = SelectedRow(); sel >= 0)
        selectedMac = Rows->item(sel, ColNo)->data(kMacRole).toString();

    // Rows whose camera has left the list (or is no longer of a family set up here) go. Rows
    // are known by the camera's MAC text, never by a pointer into the list.
    for (int r = Rows->rowCount() - 1; r >= 0; --r) {
        const QString mac = Rows->item(r, ColNo)->data(kMacRole).toString();
        const TDevInfo* rec = list.FindRecordByMac(mac);
        if (!rec || !families.Traits(rec->Family).easyListed) {
            Rows->removeRow(r);
            if (mac == selectedMac)
                selectedMac.clear();
        }
    }

    for (int i = 0; i < list.Count(); ++i) {
        const TDevInfo& rec = *list.RecordAt(i);
        if (!families.Traits(rec.Family).easyListed)
            continue;
        int row = -1;
        for (int r = 0; r < Rows->rowCount(); ++r)
            if (Rows->item(r, ColNo)->data(kMacRole).toString() == rec.Mac) {
                row = r;
                break;
            }
        const QString cells[ColumnCount] = {QString(), rec.DdnsUser, families.SeriesLetter(rec.Family), rec.IP,
                                            QString::number(rec.HttpPort), rec.Mac};
        if (row >= 0) {
            for (int c = ColSN; c < ColumnCount; ++c)
                SetIfChanged(Rows, row, c, cells[c]);
            continue;
        }
        QList<QStandardItem*> items;
        for (int c = 0; c < ColumnCount; ++c)
            items << new QStandardItem(cells[c]);
        items[ColNo]->setData(rec.Mac, kMacRole);
        Rows->appendRow(items);
        // The number the row gets is the row count at its arrival; it is never renumbered.
        items[ColNo]->setText(QString::number(Rows->rowCount()));
    }

    QItemSelectionModel* sel = ListView1->selectionModel();
    int select = -1;
    if (!selectedMac.isEmpty()) {
        for (int r = 0; r < Rows->rowCount(); ++r)
            if (Rows->item(r, ColNo)->data(kMacRole).toString() == selectedMac)
                select = r;
    } else if (Rows->rowCount() > 0 && !(fromTimer && before > 0)) {
        select = 0;
    }
    if (select >= 0) {
        if (SelectedRow() != select)
            ListView1->setCurrentIndex(Rows->index(select, 0));
    } else {
        sel->clearSelection();
    }

    const bool empty = Rows->rowCount() == 0;
    plInfo->setVisible(empty);
    Label2->setVisible(empty);
    Image1->setVisible(empty);
    // The list is ready for the keyboard, unless the user is on one of this page's buttons.
    QWidget* focus = QApplication::focusWidget();
    if (!focus || !isAncestorOf(focus))
        ListView1->setFocus();
}

void TfrmEsy_DevList::btnRefreshClick() {
    Rows->removeRows(0, Rows->rowCount());
    Adv()->btnFindClick();
}

void TfrmEsy_DevList::Label2Click() { ShowHelp(QStringLiteral("IDS_FOUNDIPCAM")); }

bool TfrmEsy_DevList::Back() {
    Host()->ShowPage(QStringLiteral("TfrmEsy_Line"));
    return true;
}

bool TfrmEsy_DevList::Next() {
    const int row = SelectedRow();
    if (row < 0)
        return true;
    const TDevInfo* rec = Devices().FindRecordByMac(Rows->item(row, ColNo)->data(kMacRole).toString());
    if (!rec)
        return true;  // gone since the last refresh; the next one drops its row
    Cur().Choose(*rec, row + 1, Host()->Families().Traits(rec->Family).factoryPassword);
    Host()->ShowPage(QStringLiteral("TfrmEsy_SetIP"));
    return true;
}
