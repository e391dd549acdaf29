#include "guireporter.h"

#include "textcodec.h"
#include "texttable.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

GuiReporter::GuiReporter(const vok::TextTable& texts, QWidget* parent)
    : QObject(nullptr), m_texts(texts), m_parent(parent)
{
}

void GuiReporter::show(const QString& text)
{
    QMessageBox::information(m_parent, QApplication::applicationName(), text);
}

void GuiReporter::message(int textId, const std::string& suffix)
{
    const QString text = vok::decodeText(m_texts.text(textId) + suffix);
    if (QThread::currentThread() == thread()) {
        show(text);
        return;
    }
    // A worker waits until the person has read the message, as with a message box of its own.
    QMetaObject::invokeMethod(this, [this, text] { show(text); }, Qt::BlockingQueuedConnection);
}
