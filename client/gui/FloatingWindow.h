#pragma once

#include <QFrame>
#include <QPointer>

class QLabel;
class QToolButton;
class QVBoxLayout;

// A small framed window over the map (a contact's information, the contacts of a group): a
// child of the main frame drawn above its client area, with a title and a close button.
// Escape closes it too. Placed in the pixels of an area (the map view once it sets itself
// as the area, the parent until then) and always kept inside its parent.
class FloatingWindow : public QFrame {
    Q_OBJECT
public:
    explicit FloatingWindow(QWidget* parent);

    void setTitle(const QString& title);
    // The widget whose pixels moveTo takes (null: the parent's).
    void setArea(QWidget* area) { area_ = area; }
    // The size in the area's device pixels.
    void getSize(int& width, int& height) const;
    // Moves the window's top-left corner to a point of the area (its device pixels).
    void moveTo(int x, int y);
    // Hides the window; called from another thread, the hide is queued to the window's.
    void hideOnItsThread();
    // Moves the top-left corner to a point of the parent, inside the parent.
    void placeAt(const QPoint& inParent);
    void showInFront();
    void bringToFront() { raise(); }

protected:
    QVBoxLayout* body() const { return body_; }
    void keyPressEvent(QKeyEvent* event) override;

private:
    double areaScale() const;

    QLabel* title_;
    QToolButton* close_;
    QVBoxLayout* body_;
    QPointer<QWidget> area_;
};
