#include "guireporter.h"

#include "modbus.h"
#include "textcodec.h"
#include "texttable.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <chrono>
#include <future>


QString GuiReporter::text(int id, const std::string& suffix) const
{
    return vok::decodeText((m_texts ? m_texts->text(id) : std::string()) + suffix);
}

bool GuiReporter::runOnGui(const std::function<void()>& fn)
{
    if (QThread::currentThread() == thread()) {
        fn();
        return true;
    }
    if (m_closing)
        return false;
    // A thread that holds the communication mutex must not wait for the GUI thread, which may
    // be waiting for that mutex: the box is shown, but nobody waits for it.
    if (vok::ModbusMaster::mutexHeldByThisThread()) {
        QMetaObject::invokeMethod(this, fn, Qt::QueuedConnection);
        return false;
    }
    auto done = std::make_shared<std::promise<void>>();
    auto future = done->get_future();
    QMetaObject::invokeMethod(
        this,
        [fn, done] {
            fn();
            done->set_value();
        },
        Qt::QueuedConnection);
    while (future.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
        if (m_closing)
            return false; // the GUI thread is shutting the workers down and will not answer
    }
    return true;
}

void GuiReporter::post(std::function<void()> fn)
{
    if (QThread::currentThread() == thread())
        fn();
    else if (!m_closing)
        QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
}

void GuiReporter::message(int textId, const std::string& suffix)
{
    const QString t = text(textId, suffix);
    runOnGui([this, t] { QMessageBox::information(m_window, QApplication::applicationName(), t); });
}

bool GuiReporter::question(int textId)
{
    const QString t = text(textId, {});
    // Shared, because a question still queued when the window closes outlives this call.
    auto ok = std::make_shared<bool>(false);
    runOnGui([this, t, ok] {
        *ok = QMessageBox::question(m_window, QApplication::applicationName(), t, QMessageBox::Ok | QMessageBox::Cancel)
            == QMessageBox::Ok;
    });
    return *ok;
}

void GuiReporter::offerSave()
{
    runOnGui([this] {
        if (onOfferSave)
            onOfferSave();
    });
}

void GuiReporter::progressStart(std::uint32_t total)
{
    post([this, total] {
        if (onProgressStart)
            onProgressStart(total);
    });
}

void GuiReporter::progressAdvance(int amount)
{
    post([this, amount] {
        if (onProgressAdvance)
            onProgressAdvance(amount);
    });
}

void GuiReporter::progressEnd()
{
    post([this] {
        if (onProgressEnd)
            onProgressEnd();
    });
}

void GuiReporter::statusText(int textId)
{
    const QString t = text(textId, {});
    post([this, t] {
        if (onStatusText)
            onStatusText(t);
    });
}

void GuiReporter::refresh(vok::Refresh what)
{
    post([this, what] {
        if (onRefresh)
            onRefresh(what);
    });
}

void GuiReporter::notice(const std::string& text)
{
    const QString t = QString::fromStdString(text);
    runOnGui([this, t] { QMessageBox::warning(m_window, QApplication::applicationName(), t); });
}

void GuiReporter::note(const std::string& text)
{
    const QString t = QString::fromStdString(text);
    post([this, t] {
        if (onNote)
            onNote(t);
    });
}
