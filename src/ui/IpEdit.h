#pragma once
// An IPv4 address field as desktop systems have it: four number fields of 0 to 255 between
// dots, in one frame. Typing is confined to digits; "." or a blank ends a number and moves to
// the next, as does a full third digit; Tab and Shift+Tab step through the numbers; Backspace at the
// start of a number and the arrow keys at its ends cross to the neighbour. A number above 255
// becomes 255. Pasting a whole address fills all four. Read-only, the field takes the
// button-face background like the other read-only fields.

#include <QFrame>
#include <QString>
#include <array>

class QLineEdit;

class TIPEdit : public QFrame {
    Q_OBJECT
public:
    explicit TIPEdit(QWidget* parent = nullptr);

    // The address as "a.b.c.d"; an empty number reads as 0.
    QString text() const;
    // Fills the four numbers from a dotted address; a text that is not four numbers of 0 to
    // 255 gives 0.0.0.0. textChanged follows once when the address changed.
    void setText(const QString& address);
    // Number i (0..3) of the address.
    int Octet(int i) const;
    void SetOctet(int i, int value);

    bool isReadOnly() const { return readOnly_; }
    void setReadOnly(bool readOnly);

    // The number fields, left to right (tests type into them).
    QLineEdit* Field(int i) const { return fields_[size_t(i)]; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // Any change of the address, typed or set.
    void textChanged(const QString& address);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    int IndexOf(QObject* field) const;
    void FocusField(int i, bool selectAll, bool atEnd);
    void OnFieldEdited(int i);
    void UpdateLook();

    std::array<QLineEdit*, 4> fields_{};
    bool readOnly_ = false;
    bool setting_ = false;  // setText fills the fields: one textChanged for all four
};
