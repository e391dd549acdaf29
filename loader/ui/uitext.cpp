#include "uitext.h"

#include "textcodec.h"
#include "texttable.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>

QString uiText(const vok::TextTable& texts, int id, const char* fallback)
{
    const std::string& t = id >= vok::TextTable::kFirstNamed ? texts.named(id)
                           : id >= vok::TextTable::kFirstSlot ? texts.slot(id)
                                                                : texts.text(id);
    return t.empty() ? QString::fromUtf8(fallback) : vok::decodeText(t);
}

QDialogButtonBox* okCancelButtons(QDialog* dialog, const vok::TextTable& texts)
{
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(uiText(texts, 97, "OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(uiText(texts, 98, "Cancel"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}
