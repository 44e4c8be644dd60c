#pragma once

#include <QHash>
#include <QList>
#include <QListWidget>
#include <QPushButton>

class QButtonGroup;

// A module entry of the side bar; a small green dot marks a module whose
// effects are in use.
class BeautyModuleButton : public QPushButton
{
    Q_OBJECT
public:
    BeautyModuleButton(const QString &text, QWidget *parent);

    void setDotVisible(bool visible);
    bool isDotVisible() const { return m_dotVisible; }

    // Where the dot is drawn, in widget coordinates.
    QRect dotRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_dotVisible = false;
    int m_dotRightMargin = 31;
    int m_dotDiameter = 6;
};

// The 140-pixel module column: group headers, module rows and spacers. The
// buttons inside the rows take the clicks; the rows themselves are inert.
class SideBarWidget : public QListWidget
{
    Q_OBJECT
public:
    explicit SideBarWidget(QWidget *parent);

    void addGroup(const QString &group);
    void addItem(const QString &group, const QString &name);
    void addSpacing(int height);

    BeautyModuleButton *findModuleButton(const QString &group, const QString &name) const;
    QList<BeautyModuleButton *> moduleButtons() const;
    QButtonGroup *buttonGroup() const { return m_buttonGroup; }

    // Role under which every row names its kind: "group", "item" or "spacing".
    static constexpr int RowTypeRole = Qt::UserRole + 1;

    // The groups and modules the main window lists, in order.
    void addDefaultModules();

private:
    QHash<QString, QListWidgetItem *> groupRows;
    QHash<QString, BeautyModuleButton *> moduleButtonByKey;
    QButtonGroup *m_buttonGroup = nullptr;
};
