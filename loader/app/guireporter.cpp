#include "guireporter.h"

#include "modbus.h"
#include "textcodec.h"
#include "texttable.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>


QString GuiReporter::text(int id, const std::string& suffix) const
{
    return vok::decodeText((m_texts ? m_texts->text(id) : std::string()) + suffix);
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
    // Posted, never awaited: no thread that the GUI thread may join waits for the GUI.
    const QString t = text(textId, suffix);
    post([this, t] { QMessageBox::information(m_window, QApplication::applicationName(), t); });
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
    post([this, t] { QMessageBox::warning(m_window, QApplication::applicationName(), t); });
}

void GuiReporter::note(const std::string& text)
{
    const QString t = QString::fromStdString(text);
    post([this, t] {
        if (onNote)
            onNote(t);
    });
}
