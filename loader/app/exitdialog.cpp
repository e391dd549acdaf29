#include "exitdialog.h"

#include "loadercore.h"
#include "uitext.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CSyuuryouDlg::CSyuuryouDlg(const vok::TextTable& texts, QWidget* parent) : QDialog(parent)
{
    setObjectName("Exit");
    setWindowTitle(uiText(texts, 130, "Exit"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(uiText(texts, 131, "Do it preserve and do it end?"), this));
    auto* buttons = new QDialogButtonBox(this);
    auto* yes = buttons->addButton(uiText(texts, 132, "Yes"), QDialogButtonBox::YesRole);
    auto* no = buttons->addButton(uiText(texts, 133, "No"), QDialogButtonBox::NoRole);
    auto* cancel = buttons->addButton(uiText(texts, 98, "Cancel"), QDialogButtonBox::RejectRole);
    yes->setObjectName("yes");
    no->setObjectName("no");
    cancel->setObjectName("cancel");
    yes->setDefault(true);
    connect(yes, &QPushButton::clicked, this, [this] {
        m_answer = Yes;
        accept();
    });
    connect(no, &QPushButton::clicked, this, [this] {
        m_answer = No;
        accept();
    });
    connect(cancel, &QPushButton::clicked, this, [this] {
        m_answer = Cancel;
        reject();
    });
    layout->addWidget(buttons);
}
