#pragma once
// One page of the main window: its main picture on the left in a zoomable scroll area that
// grows with the window, the page's controls in a scrolling column on the right.
#include <QWidget>
#include <string>

namespace talvenor {

class Binder;

class PageWidget : public QWidget {
public:
    // `mainPicture` may be empty (a page of controls only).
    PageWidget(Binder& binder, const std::string& tabSheet, const std::string& mainPicture, QWidget* parent);
};

// The main picture of each page, by TabSheet name ("" when the page has none).
std::string MainPictureOf(const std::string& tabSheet);

}  // namespace talvenor
