#pragma once
// The two in-memory tables of the port-mapping dialog: the wanted mappings (dsNeed) and the
// router's table (dsRouter). Widget-free.

#include <QList>
#include <QString>

// One row of either table. isUse exists in dsNeed only; in dsRouter it stays false.
struct TPortMapRecord {
    int ID = 0;
    QString name;      // at most kNameWidth characters
    QString IP;        // at most kIPWidth
    int PPort = 0;     // public (router) port
    int PrPort = 0;    // private (camera) port
    QString Protocol;  // at most kProtocolWidth
    QString Status;    // at most kStatusWidth
    int isUpdate = 0;
    QString OrderId;   // at most kOrderIdWidth
    bool isUse = false;
    int PPort2 = 0;
    int PrPort2 = 0;

    static constexpr int kNameWidth = 20;
    static constexpr int kIPWidth = 32;
    static constexpr int kProtocolWidth = 50;
    static constexpr int kStatusWidth = 10;
    static constexpr int kOrderIdWidth = 50;
};

// isUpdate values.
namespace PortMapUpdate {
constexpr int Existing = 0;  // a wanted mapping the router already has for the same address
constexpr int Add = 1;       // to be added
constexpr int Drop = 3;      // a router entry to be dropped
constexpr int FirstHidden = 3;  // records with isUpdate >= 3 take no part in walks, counts, XML
}  // namespace PortMapUpdate

// A table with an auto-increment ID and cut-to-width text fields. Records whose isUpdate is
// FirstHidden or more stay stored but are hidden: Shown() and ShownCount() skip them.
class TPortMapTable {
public:
    // Appends a copy of r with the next ID; text fields longer than their width are cut.
    TPortMapRecord& Append(TPortMapRecord r);
    // Deletes every shown record; hidden ones stay.
    void DeleteShown();
    void Clear();

    static bool IsShown(const TPortMapRecord& r) { return r.isUpdate < PortMapUpdate::FirstHidden; }
    int ShownCount() const;
    // Pointers into the table, in table order; valid until the next Append or delete.
    QList<TPortMapRecord*> Shown();
    QList<const TPortMapRecord*> Shown() const;
    // Every record, hidden ones included.
    const QList<TPortMapRecord>& All() const { return rows_; }

    // Cuts a text to at most width characters without splitting a surrogate pair.
    static QString Cut(const QString& text, int width);

private:
    QList<TPortMapRecord> rows_;
    int nextId_ = 1;
};
