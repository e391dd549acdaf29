#include "initdialogs.h"

#include "loadercore.h"
#include "uitext.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

CINIT_SelectDlg::CINIT_SelectDlg(const vok::TextTable& texts, QWidget* parent) : QDialog(parent)
{
    setObjectName("Module classification selection");
    setWindowTitle(uiText(texts, 166, "Module classification selection"));
    auto* layout = new QVBoxLayout(this);
    m_list = new QComboBox(this);
    for (int id : {167, 168, 173})
        m_list->addItem(uiText(texts, id, id == 167 ? "Standard" : id == 168 ? "Communication 1" : "Communication 2"));
    m_list->setCurrentIndex(0);
    layout->addWidget(m_list);
    layout->addWidget(okCancelButtons(this, texts));
}

int CINIT_SelectDlg::family() const
{
    return m_list->currentIndex();
}

CINIT_ModeDlg::CINIT_ModeDlg(const vok::TextTable& texts, int family, QWidget* parent) : QDialog(parent)
{
    setObjectName("Start-up mode");
    setWindowTitle(uiText(texts, 20, "Start-up mode"));
    auto* layout = new QVBoxLayout(this);
    auto* group = new QGroupBox(uiText(texts, 26, "Mode"), this);
    auto* g = new QVBoxLayout(group);
    m_initial = new QRadioButton(uiText(texts, 21, "Initial value start-up mode"), group);
    m_file = new QRadioButton(uiText(texts, 22, "File selection start-up mode"), group);
    m_reception = new QRadioButton(uiText(texts, 23, "Module data reception start-up mode"), group);
    m_initial->setObjectName("initial");
    m_file->setObjectName("file");
    m_reception->setObjectName("reception");
    g->addWidget(m_initial);
    g->addWidget(m_file);
    g->addWidget(m_reception);
    m_connection = new QCheckBox(uiText(texts, 24, "Choose the connected stations"), group);
    m_connection->setObjectName("connection");
    g->addWidget(m_connection);
    m_connection->setVisible(family == 0);
    layout->addWidget(group);
    m_status = new QLabel(this);
    m_status->setObjectName("status");
    layout->addWidget(m_status);
    layout->addWidget(okCancelButtons(this, texts));
    m_file->setChecked(true);
    m_connection->setEnabled(false);
    connect(m_reception, &QRadioButton::toggled, m_connection, &QCheckBox::setEnabled);
}

CINIT_ModeDlg::Mode CINIT_ModeDlg::mode() const
{
    return m_initial->isChecked() ? InitialValues : m_file->isChecked() ? FromFile : Reception;
}

void CINIT_ModeDlg::setMode(Mode mode)
{
    (mode == InitialValues ? m_initial : mode == FromFile ? m_file : m_reception)->setChecked(true);
}

void CINIT_ModeDlg::setConnectionSpecified(bool on)
{
    m_connection->setChecked(on);
}

void CINIT_ModeDlg::showStatus(const QString& text)
{
    m_status->setText(text);
}

void CINIT_ModeDlg::accept()
{
    bool ok = false;
    switch (mode()) {
    case InitialValues: ok = onInitialValues && onInitialValues(); break;
    case FromFile: ok = onFromFile && onFromFile(); break;
    case Reception: ok = onReception && onReception(m_connection->isVisible() && m_connection->isChecked()); break;
    }
    if (ok)
        QDialog::accept();
}
