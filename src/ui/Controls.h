#pragma once
// Widget classes that the language table tells apart. The themed classes (TTe...) derive from
// the plain ones but are matched first, so for example a themed panel keeps its caption.

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

// A new widget of class W on parent, named as the language table knows it.
template <class W>
W* MakeNamed(QWidget* parent, const char* name)
{
    auto* w = new W(parent);
    w->setObjectName(QLatin1String(name));
    return w;
}

// A panel with a caption drawn in its middle.
class TPanel : public QFrame {
    Q_OBJECT
    Q_PROPERTY(QString caption READ Caption WRITE SetCaption)
public:
    explicit TPanel(QWidget* parent = nullptr, const QString& name = QString());
    QString Caption() const { return caption_; }
    void SetCaption(const QString& c);

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QString caption_;
};

class TTePanel : public TPanel {
    Q_OBJECT
public:
    using TPanel::TPanel;
};

class TTeLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
};

class TTeButton : public QPushButton {
    Q_OBJECT
public:
    using QPushButton::QPushButton;
};

class TTeCheckBox : public QCheckBox {
    Q_OBJECT
public:
    using QCheckBox::QCheckBox;
};

class TTeGroupBox : public QGroupBox {
    Q_OBJECT
public:
    using QGroupBox::QGroupBox;
};

class TTeComboBox : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;
};

class TToolButton : public QToolButton {
    Q_OBJECT
public:
    using QToolButton::QToolButton;
};

class TSpeedButton : public QToolButton {
    Q_OBJECT
public:
    using QToolButton::QToolButton;
};

// One page of a tab control (a QTabWidget); its caption is the tab's text.
class TTabSheet : public QWidget {
    Q_OBJECT
public:
    explicit TTabSheet(QWidget* parent = nullptr, const QString& name = QString()) : QWidget(parent)
    {
        if (!name.isEmpty())
            setObjectName(name);
    }
};

// A multi-column list over a model; its column captions are the model's header texts.
class TListView : public QTreeView {
    Q_OBJECT
public:
    using QTreeView::QTreeView;
};

class TTeListView : public TListView {
    Q_OBJECT
public:
    using TListView::TListView;
};

class TTreeView : public QTreeWidget {
    Q_OBJECT
public:
    using QTreeWidget::QTreeWidget;
};

class TCheckListBox : public QListWidget {
    Q_OBJECT
public:
    using QListWidget::QListWidget;
};

// A picture: not a label, so that it gets no caption.
class TImage : public QWidget {
    Q_OBJECT
public:
    explicit TImage(QWidget* parent = nullptr, const QString& name = QString());
    void SetPicture(const QPixmap& p);
    const QPixmap& Picture() const { return pixmap_; }
    void SetStretch(bool s) { stretch_ = s; update(); }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;

private:
    QPixmap pixmap_;
    bool stretch_ = false;
};

// A label that reports clicks: the links along the bottom of the main window.
class TClickLabel : public QLabel {
    Q_OBJECT
public:
    explicit TClickLabel(QWidget* parent = nullptr, const QString& name = QString());

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* e) override;
};

// File dialogs whose filter comes from the language file ("Text (*.txt)|*.txt").
class TFileDialogFilter : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString filter READ Filter WRITE SetFilter)
public:
    using QObject::QObject;
    QString Filter() const { return filter_; }
    void SetFilter(const QString& f) { filter_ = f; }
    // The filter in the form a Qt file dialog takes.
    QString QtFilter() const;

private:
    QString filter_;
};

class TSaveDialog : public TFileDialogFilter {
    Q_OBJECT
public:
    using TFileDialogFilter::TFileDialogFilter;
};

class TOpenDialog : public TFileDialogFilter {
    Q_OBJECT
public:
    using TFileDialogFilter::TFileDialogFilter;
};
