#include "comsetdlg.h"

#include "loadercore.h"
#include "uitext.h"
#include "serialport.h"
#include "textcodec.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

CComSetDlg::CComSetDlg(LoaderCore& core, QWidget* parent) : QDialog(parent), m_core(core)
{
    setObjectName("ComNo.");
    setWindowTitle(core.text(30, "Communication settings"));
    const vok::CommSettings& s = core.settings;
    auto* layout = new QVBoxLayout(this);
    auto combo = [this](const char* name) {
        auto* c = new QComboBox(this);
        c->setObjectName(name);
        return c;
    };

    auto* comm = new QGroupBox(core.text(31, "Communication"), this);
    auto* form = new QFormLayout(comm);
    m_port = combo("port");
    for (int n = 1; n <= 8; ++n) {
        const std::string device = vok::comDevicePath(s, n);
        m_port->addItem(QStringLiteral("com%1   %2").arg(n).arg(QString::fromStdString(device)));
    }
    m_baud = combo("baud");
    for (int i = 0; i < vok::kBaudRates; ++i)
        m_baud->addItem(QString::fromLatin1(vok::baudLabel(i)));
    m_parity = combo("parity");
    for (int id : {40, 41, 42})
        m_parity->addItem(core.text(id, id == 40 ? "None" : id == 41 ? "Odd" : "Even"));
    m_byte = combo("byte");
    m_byte->addItems({"7", "8"});
    m_stop = combo("stop");
    m_stop->addItems({"1", "1.5", "2"});
    form->addRow(core.text(34, "COM port"), m_port);
    form->addRow(core.text(35, "Baud rate"), m_baud);
    form->addRow(core.text(36, "Parity"), m_parity);
    form->addRow(core.text(37, "Byte length"), m_byte);
    form->addRow(core.text(38, "Stop bit"), m_stop);
    // The ports this machine has, with what a user needs to know to pick one.
    m_devices = combo("devices");
    for (const vok::SerialPortInfo& p : vok::listSerialPorts()) {
        QString text = QString::fromStdString(p.path + "   " + p.description);
        if (!p.problem.empty())
            text += QString::fromStdString("   (" + p.problem + ")");
        m_devices->addItem(text, QString::fromStdString(p.path));
    }
    if (m_devices->count() == 0)
        m_devices->addItem(QStringLiteral("No serial port found (is the adapter plugged in?)"));
    auto* use = new QPushButton(QStringLiteral("Use for the COM port"), comm);
    use->setObjectName("useDevice");
    use->setEnabled(m_devices->itemData(0).isValid());
    connect(use, &QPushButton::clicked, this, &CComSetDlg::useDevice);
    auto* deviceRow = new QHBoxLayout;
    deviceRow->addWidget(m_devices, 1);
    deviceRow->addWidget(use);
    form->addRow(QStringLiteral("Serial ports"), deviceRow);
    layout->addWidget(comm);

    auto* command = new QGroupBox(core.text(32, "Command"), this);
    auto* cl = new QVBoxLayout(command);
    m_command = combo("command");
    m_command->addItem(core.text(47, "normal"));
    m_command->addItem(core.text(48, "special"));
    cl->addWidget(m_command);
    layout->addWidget(command);

    auto* online = new QGroupBox(core.text(33, "Online / offline"), this);
    auto* ol = new QVBoxLayout(online);
    m_online = combo("online");
    m_online->addItem(core.text(44, "Offline"));
    m_online->addItem(core.text(45, "Online"));
    ol->addWidget(m_online);
    layout->addWidget(online);

    auto* language = new QGroupBox(core.text(50, "Language"), this);
    auto* ll = new QVBoxLayout(language);
    m_language = combo("language");
    for (const std::string& name : vok::languageList(s.workingDir))
        m_language->addItem(vok::decodeText(name));
    ll->addWidget(m_language);
    // The text table is read once per run; the definitions follow the folder at once.
    m_languageNote = new QLabel(QStringLiteral("Parameter names change at once; menus and messages at the next start."),
                                language);
    m_languageNote->setObjectName("languageNote");
    m_languageNote->setWordWrap(true);
    ll->addWidget(m_languageNote);
    layout->addWidget(language);

    layout->addWidget(okCancelButtons(this, core.texts));

    // The online state is a choice only after an online start; the communication families
    // speak plain frames.
    m_online->setEnabled(s.startupMode == 2);
    m_command->setEnabled(core.family == 0);

    m_port->setCurrentIndex(s.comNo - 1);
    m_baud->setCurrentIndex(s.bps);
    m_parity->setCurrentIndex(s.parity);
    m_byte->setCurrentIndex(s.byteLength);
    m_stop->setCurrentIndex(s.stopBits);
    m_command->setCurrentIndex(s.cmdMode);
    m_online->setCurrentIndex(s.online ? 1 : 0);
    m_language->setCurrentIndex(s.language);
    m_languageNote->setVisible(false);
    connect(m_language, &QComboBox::currentIndexChanged, this,
            [this](int index) { m_languageNote->setVisible(index != m_core.settings.language); });
}

void CComSetDlg::useDevice()
{
    const QString path = m_devices->currentData().toString();
    if (path.isEmpty())
        return;
    const int n = m_port->currentIndex() + 1;
    m_newDevices[n] = path.toStdString();
    m_port->setItemText(m_port->currentIndex(), QStringLiteral("com%1   %2").arg(n).arg(path));
}

void CComSetDlg::accept()
{
    vok::CommSettings& s = m_core.settings;
    for (const auto& [n, path] : m_newDevices)
        s.portDevices[n] = path;
    s.comNo = m_port->currentIndex() + 1;
    s.bps = m_baud->currentIndex();
    s.parity = m_parity->currentIndex();
    s.byteLength = m_byte->currentIndex();
    s.stopBits = m_stop->currentIndex();
    s.cmdMode = m_command->currentIndex();
    const int language = m_language->currentIndex();
    if (language >= 0 && language != s.language) {
        if (onLanguageChange)
            onLanguageChange(s.languageChanges == 0);
        s.language = language;
        ++s.languageChanges;
        s.languageFolder = vok::languageFolderName(language);
        m_languageChanged = true;
    }
    std::string error;
    if (!vok::saveCommSettings(m_core.profile, s, &error))
        QMessageBox::warning(this, windowTitle(), QString::fromStdString(error));
    s.online = m_online->currentIndex() == 1 ? 1 : 0;
    QDialog::accept();
}
