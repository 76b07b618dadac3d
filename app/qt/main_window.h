// The converter's one window: its controls at their fixed places, drag and drop of files, and
// the forwarding of every event to the window logic. It holds no logic of its own.
#pragma once

#include <QLineEdit>
#include <QPushButton>
#include <QWidget>
#include <array>
#include <functional>

#include "app/toolkit.h"

class MainWindow : public QWidget {
    Q_OBJECT

  public:
    // pathEdited runs for every change of the path box, typed or set; closed when the window
    // closes for any reason.
    MainWindow(WindowHandlers& handlers, std::function<void()> pathEdited,
               std::function<void()> closed);

    QLineEdit* Box(EditBox box) const;
    QPushButton* FormatButton(Format format) const;

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    QPushButton* AddButton(const char* name, const char* text, QRect place);
    QLineEdit* AddEditBox(const char* name, const char* text, QRect place, bool visible);
    void AddLabel(const char* name, const char* text, QRect place, bool visible);

    WindowHandlers& handlers;
    std::function<void()> closed;
    QLineEdit* pathBox = nullptr;
    QLineEdit* saveBox = nullptr;
    QLineEdit* fileNameBox = nullptr;
    std::array<QPushButton*, kFormatCount> formatButtons{};
};
