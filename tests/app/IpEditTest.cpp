// The IP-address field: typing as in a desktop address field, the address it reads and sets,
// and its read-only state.

#include "IpEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class IpEdit : public ::testing::Test {
protected:
    void SetUp() override {
        edit.setText(QStringLiteral("0.0.0.0"));
        edit.show();
        edit.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&edit));
        edit.Field(0)->setFocus();
        edit.Field(0)->selectAll();
    }
    // Keys go where the focus is, as the user's would.
    void Type(const QString& keys) {
        for (QChar c : keys)
            QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
    }
    void Key(Qt::Key key) { QTest::keyClick(QApplication::focusWidget(), key); }
    int FocusedField() const {
        for (int i = 0; i < 4; ++i)
            if (edit.Field(i)->hasFocus())
                return i;
        return -1;
    }

    TIPEdit edit;
};

TEST_F(IpEdit, TypingAnAddress) {
    struct Case {
        const char* keys;
        const char* address;
    };
    const Case cases[] = {
        {"192.168.1.5", "192.168.1.5"},
        {"192168001005", "192.168.1.5"},  // a third digit moves on by itself
        {"192.168.001.005", "192.168.1.5"},  // the dot after a full number is the one passed
        {"10.1..7", "10.1.7.0"},          // a dot in a number not typed into yet stays there
        {"300.1.1.1", "255.1.1.1"},       // above 255: 255
        {"1a2b.c3 4", "12.3.4.0"},        // letters are not typed; a blank moves on like a dot
        {"1.2.3.4.5", "1.2.3.45"},        // no fifth number
    };
    for (const Case& c : cases) {
        edit.setText(QStringLiteral("0.0.0.0"));
        edit.Field(0)->setFocus();
        edit.Field(0)->selectAll();
        Type(QString::fromLatin1(c.keys));
        EXPECT_EQ(edit.text(), c.address) << c.keys;
    }
}

TEST_F(IpEdit, BackspaceAndArrowsCrossToTheNeighbour) {
    Type(QStringLiteral("10.20"));
    EXPECT_EQ(FocusedField(), 1);
    Key(Qt::Key_Backspace);
    Key(Qt::Key_Backspace);
    EXPECT_EQ(edit.Field(1)->text(), "");
    Key(Qt::Key_Backspace);  // at the start of the second number: back into the first
    EXPECT_EQ(FocusedField(), 0);
    EXPECT_EQ(edit.Field(0)->cursorPosition(), 2);
    Key(Qt::Key_Backspace);
    EXPECT_EQ(edit.text(), "1.0.0.0") << "an empty number reads as 0";
    Key(Qt::Key_Right);
    EXPECT_EQ(FocusedField(), 1);
    Key(Qt::Key_Left);
    EXPECT_EQ(FocusedField(), 0);
}

TEST_F(IpEdit, SettingAndReading) {
    QSignalSpy changed(&edit, &TIPEdit::textChanged);
    edit.setText(QStringLiteral("192.168.0.20"));
    EXPECT_EQ(edit.text(), "192.168.0.20");
    EXPECT_EQ(changed.count(), 1) << "one signal for the four numbers";
    edit.setText(QStringLiteral("192.168.0.20"));
    EXPECT_EQ(changed.count(), 1) << "no change, no signal";
    EXPECT_EQ(edit.Octet(3), 20);
    edit.SetOctet(3, 37);
    EXPECT_EQ(edit.text(), "192.168.0.37");
    edit.SetOctet(0, 999);
    EXPECT_EQ(edit.text(), "255.168.0.37");
    for (const char* bad : {"1.2.3", "256.1.1.1", "1.2.3.4.5", "a.b.c.d", "", " 1.2.3.4x"}) {
        edit.setText(QStringLiteral("9.9.9.9"));
        edit.setText(QString::fromLatin1(bad));
        EXPECT_EQ(edit.text(), "0.0.0.0") << bad;
    }
    edit.setText(QStringLiteral(" 10.0.0.1 "));
    EXPECT_EQ(edit.text(), "10.0.0.1") << "blanks around are no part of it";
}

TEST_F(IpEdit, PastingAWholeAddressFillsAllFour) {
    QApplication::clipboard()->setText(QStringLiteral("10.77.0.42"));
    QTest::keyClick(edit.Field(0), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit.text(), "10.77.0.42");
}

TEST_F(IpEdit, ReadOnlyTakesNoKeysAndShowsTheButtonFace) {
    edit.setText(QStringLiteral("10.0.0.1"));
    const QColor editable = edit.palette().color(QPalette::Base);
    edit.setReadOnly(true);
    edit.Field(0)->setFocus();
    edit.Field(0)->selectAll();
    Type(QStringLiteral("99.1"));
    QApplication::clipboard()->setText(QStringLiteral("10.77.0.42"));
    QTest::keyClick(edit.Field(0), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit.text(), "10.0.0.1");
    EXPECT_TRUE(edit.isReadOnly());
    EXPECT_EQ(edit.palette().color(QPalette::Base), QApplication::palette().color(QPalette::Button));
    EXPECT_NE(edit.palette().color(QPalette::Base), editable);
    edit.setReadOnly(false);
    EXPECT_EQ(edit.palette().color(QPalette::Base), editable);
}

}  // namespace
