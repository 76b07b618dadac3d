#include "app/qt/message_boxes.h"

#include <QCoreApplication>
#include <QThread>
#include <cstdio>

namespace {

bool OnWindowThread() { return QThread::currentThread() == QCoreApplication::instance()->thread(); }

}  // namespace

QMessageBox* MessageBoxes::MakeBox(const std::string& text, const std::string& title) {
    QString shown = QString::fromStdString(text);
    shown.replace("\r\n", "\n");
    auto* box =
        new QMessageBox(QMessageBox::NoIcon, QString::fromStdString(title), shown, QMessageBox::Ok);
    // Paths may contain markup characters; show them as they are.
    box->setTextFormat(Qt::PlainText);
    return box;
}

void MessageBoxes::Show(const std::string& text, const std::string& title) {
    auto entry = std::make_shared<Pending>();
    std::future<void> dismissed = entry->dismissed.get_future();
    {
        std::lock_guard<std::mutex> guard(lock);
        if (closing) {
            std::fprintf(stderr, "lumenvex: %s: %s\n", title.c_str(), text.c_str());
            return;
        }
        pending.push_back(entry);
    }
    if (OnWindowThread()) {
        QMessageBox* box = MakeBox(text, title);
        entry->box = box;
        box->setWindowModality(Qt::ApplicationModal);
        box->exec();
        delete box;
        Resolve(entry);
        return;
    }
    QMetaObject::invokeMethod(
        this, [this, entry, text, title] { Present(entry, text, title); }, Qt::QueuedConnection);
    dismissed.wait();
}

void MessageBoxes::Present(const std::shared_ptr<Pending>& entry, const std::string& text,
                           const std::string& title) {
    {
        std::lock_guard<std::mutex> guard(lock);
        if (entry->resolved) return;
    }
    QMessageBox* box = MakeBox(text, title);
    entry->box = box;
    box->setWindowModality(Qt::NonModal);
    connect(box, &QMessageBox::finished, this, [this, entry, box] {
        box->deleteLater();
        Resolve(entry);
    });
    box->show();
}

void MessageBoxes::Resolve(const std::shared_ptr<Pending>& entry) {
    std::lock_guard<std::mutex> guard(lock);
    if (entry->resolved) return;
    entry->resolved = true;
    pending.remove(entry);
    entry->dismissed.set_value();
}

void MessageBoxes::ResolveAll() {
    std::list<std::shared_ptr<Pending>> open;
    {
        std::lock_guard<std::mutex> guard(lock);
        closing = true;
        open = pending;
    }
    for (const auto& entry : open) {
        if (QMessageBox* box = entry->box.data()) {
            // A box in exec() returns from it; a posted one is simply removed.
            disconnect(box, nullptr, this, nullptr);
            box->done(QMessageBox::Ok);
            if (box->windowModality() == Qt::NonModal) delete box;
        }
        Resolve(entry);
    }
}
