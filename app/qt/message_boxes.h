// Message boxes that any thread may show. A worker's box is posted to the window's thread as a
// non-modal box, and the worker waits until the box's finished signal releases it, so the
// window stays usable. On shutdown every pending box is resolved, so nobody waits for a box
// that will never be dismissed.
#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <future>
#include <list>
#include <memory>
#include <mutex>
#include <string>

class MessageBoxes : public QObject {
    Q_OBJECT

  public:
    MessageBoxes() = default;
    ~MessageBoxes() override { ResolveAll(); }

    // Returns when the box is dismissed. On the window's thread the box is modal to the
    // application; elsewhere the caller waits while the window stays usable.
    void Show(const std::string& text, const std::string& title);
    // Window thread: closes every open box and releases its caller. Later calls of Show
    // return at once and write their text to standard error instead.
    void ResolveAll();

  private:
    struct Pending {
        std::promise<void> dismissed;
        bool resolved = false;  // guarded by lock
        QPointer<QMessageBox> box;
    };
    QMessageBox* MakeBox(const std::string& text, const std::string& title);
    void Present(const std::shared_ptr<Pending>& pending, const std::string& text,
                 const std::string& title);
    void Resolve(const std::shared_ptr<Pending>& pending);

    std::mutex lock;
    bool closing = false;
    std::list<std::shared_ptr<Pending>> pending;
};
