#pragma once
// The information box of the help links: a small borderless box with a help text and one
// button. Its button text is fixed; the text comes looked up already.

#include <QDialog>

class QLabel;
class QPushButton;

class TFrmQInfo : public QDialog {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 395;
    static constexpr int kClientHeight = 191;

    explicit TFrmQInfo(QWidget* parent = nullptr);

    void SetInfo(const QString& text);
    const QString& Info() const { return info_; }

    QLabel* Label1;
    QPushButton* BitBtn1;

private:
    QString info_;
};
