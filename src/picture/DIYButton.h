#pragma once

#include <QList>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

class QLabel;
class QTimer;

// Square thumbnail with a caption. It shows a light-grey placeholder at once
// and asks the process-wide loader for its picture. A caption longer than
// four characters scrolls like a marquee while the thumbnail is selected.
class DIYButton : public QWidget
{
    Q_OBJECT
public:
    DIYButton(const QString &text, const QString &iconPath, int width, int height, QWidget *parent);
    ~DIYButton() override;

    void setSelected(bool selected);
    bool isSelected() const { return m_selected; }
    void setCategory(const QString &category);
    QString category() const { return m_category; }

    QString iconPath() const { return m_iconPath; }
    QString caption() const { return m_caption; }
    QLabel *imageLabel() const { return m_imageLabel; }
    QLabel *textLabel() const { return m_textLabel; }
    QTimer *scrollTimer() const { return m_scrollTimer; }
    bool hasPicture() const { return m_hasPicture; }

    static QColor placeholderColor() { return QColor(Qt::lightGray); }

signals:
    void clicked(bool checked);
    // Emitted once this thumbnail shows its own picture (not the placeholder).
    void pictureShown();

public slots:
    void handlePixmapLoaded(QString picture_path, QPixmap pixmap);
    void scrollText();

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    void applyLook();
    void applyTextStyle();

    QLabel *m_imageLabel = nullptr;
    QLabel *m_textLabel = nullptr;
    bool m_selected = false;
    QString m_iconPath;
    int m_width;
    int m_height;
    QString m_category;
    QTimer *m_scrollTimer = nullptr;
    QString m_caption;
    int m_scrollOffset = 0;
    bool m_longCaption = false;
    bool m_paused = false;
    bool m_hasPicture = false;
};

// Keeps at most one thumbnail of a page selected. Members are not owned.
class DIYButtonGroupManager : public QObject
{
    Q_OBJECT
public:
    explicit DIYButtonGroupManager(QObject *parent);

    void addButton(DIYButton *button);
    void setCurrentButton(DIYButton *button);

    DIYButton *currentButton() const { return m_current; }
    QList<DIYButton *> buttons() const;

private slots:
    void onButtonClicked();

private:
    QList<QPointer<DIYButton>> m_buttons;
    QPointer<DIYButton> m_current;
};
