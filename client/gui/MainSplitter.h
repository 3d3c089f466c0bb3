#pragma once

#include <QWidget>
#include <atomic>
#include <memory>

class IControllerCommands;
class QSplitter;
class QToolButton;

// What the controller may read of the splitter from another thread, also after it is gone:
// whether the contact pane is shown and where the bar stands (the map pane's width).
struct SplitterState {
    std::atomic<bool> contactPaneShown{true};
    std::atomic<int> position{0};
};

// The main frame's client area: the map pane and the contact pane side by side with a bar
// between them that the user drags, and at the right edge a narrow tab ("CONTACTS", its
// letters one above the other) that hides and shows the contact pane. When the window
// grows, the map takes the room; the contact pane keeps its width.
class MainSplitter : public QWidget {
    Q_OBJECT
public:
    MainSplitter(IControllerCommands& controller, std::shared_ptr<SplitterState> state,
                 QWidget* parent);

    // The two panes, each once: the map view (a placeholder until then) and the contact pane.
    void setPanes(QWidget* mapView, QWidget* contactPane);
    QWidget* mapPane() const { return mapPane_; }
    QWidget* contactPane() const { return contactPane_; }

    bool isContactPaneShown() const { return state_->contactPaneShown.load(); }
    void showContactPane(bool shown);
    void toggleContactPane() { showContactPane(!isContactPaneShown()); }
    // The bar's position (the map pane's width); outside the area it gives half its width.
    void setSplitterPosition(int position);
    int splitterPosition() const { return state_->position.load(); }
    QToolButton* paneTab() const { return tab_; }

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void applyPosition();
    void notePosition();
    void updateTab();

    IControllerCommands& controller_;
    std::shared_ptr<SplitterState> state_;
    QSplitter* splitter_;
    QToolButton* tab_;
    QWidget* mapPane_ = nullptr;
    QWidget* contactPane_ = nullptr;
    // A position asked for before the splitter had its size; applied once it has.
    int wantedPosition_ = -1;
};
