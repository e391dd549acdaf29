#include "modulestatusdlg.h"

#include "definitions.h"
#include "fileutil.h"
#include "link.h"
#include "loadercore.h"
#include "reporter.h"
#include "modbus.h"
#include "uitext.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kMargin = 8;
constexpr int kHeading = 16;
constexpr int kPictureHeight = 86;

} // namespace

CLdbmpDlg::CLdbmpDlg(LoaderCore& core, QWidget* parent) : QDialog(parent), m_core(core)
{
    setObjectName("Status");
    setWindowTitle(core.text(60, "Module status"));
    const std::string folder = vok::joinPath(core.tables->folder(), "BMP");
    // A missing picture leaves its slot empty: the cells show their texts only.
    for (std::size_t i = 0; i < m_pictures.size(); ++i)
        m_pictures[i].load(QString::fromStdString(vok::joinPath(folder, vok::statusPictureFiles()[i])));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kMargin, 2 * kCellHeight + kMargin, kMargin, kMargin);
    auto* buttons = new QHBoxLayout;
    m_reading = new QLabel(QStringLiteral("Reading the modules..."), this);
    buttons->addWidget(m_reading);
    buttons->addStretch(1);
    // The OK button of the screen is not shown: Cancel closes it.
    auto* cancel = new QPushButton(uiText(core.texts, 98, "Cancel"), this);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    setFixedSize(2 * kMargin + vok::kStatusRow * kCellWidth, 2 * kCellHeight + 3 * kMargin + cancel->sizeHint().height());
    readModules();
}

CLdbmpDlg::~CLdbmpDlg()
{
    stopReading();
}

void CLdbmpDlg::readModules()
{
    // The line is opened here, so that a port that does not open is said once, at once; the
    // screen then stays empty.
    if (m_core.link->openLinkFromSettings() != 0) {
        readingEnded();
        return;
    }
    m_linkOpen = true;
    const vok::PortHandle port = m_core.link->linkHandle();
    m_core.reporter.progressStart(static_cast<std::uint32_t>(vok::moduleStatusReads(m_core.store, m_core.family)));
    m_reader = std::thread([this, port] {
        // Its reads take their turn on the line; its Cancel ends only them.
        vok::Link::Use use(*m_core.link, vok::LineUser::ModuleStatus);
        auto all = vok::readModuleStatus(*m_core.master, port, m_core.store, m_core.tables->specials(), m_core.family,
                                         &m_stop, [this] { m_core.reporter.progressAdvance(1); });
        {
            std::lock_guard lock(m_mutex);
            m_modules = std::move(all);
        }
        QMetaObject::invokeMethod(this, [this] { readingEnded(); }, Qt::QueuedConnection);
    });
}

void CLdbmpDlg::readingEnded()
{
    if (m_reader.joinable())
        m_reader.join();
    if (m_linkOpen) {
        m_core.link->close();
        m_linkOpen = false;
        m_core.reporter.progressEnd();
    }
    m_finished = true;
    m_reading->clear();
    // Fewer than 18 modules: one row, the screen cut above the second.
    if (rows() == 1) {
        setFixedHeight(height() - kCellHeight);
        layout()->setContentsMargins(kMargin, kCellHeight + kMargin, kMargin, kMargin);
    }
    update();
}

void CLdbmpDlg::stopReading()
{
    if (!m_reader.joinable())
        return;
    m_stop = true;
    m_core.master->interruptExchangeOf(m_reader.get_id());
    m_reader.join();
    if (m_linkOpen) {
        m_core.link->close();
        m_linkOpen = false;
        m_core.reporter.progressEnd();
    }
}

void CLdbmpDlg::reject()
{
    stopReading();
    QDialog::reject();
}

std::vector<vok::ModuleStatus> CLdbmpDlg::shown() const
{
    std::lock_guard lock(m_mutex);
    return vok::shownModules(m_modules);
}

int CLdbmpDlg::rows() const
{
    return shown().size() >= static_cast<std::size_t>(vok::kStatusRow + 1) ? 2 : 1;
}

void CLdbmpDlg::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const auto modules = shown();
    QFont small = font();
    small.setPointSizeF(std::max(6.0, small.pointSizeF() - 1.5));
    for (std::size_t k = 0; k < modules.size(); ++k) {
        const vok::ModuleStatus& m = modules[k];
        const int x = kMargin + static_cast<int>(k % vok::kStatusRow) * kCellWidth;
        const int y = kMargin + static_cast<int>(k / vok::kStatusRow) * kCellHeight;
        p.setFont(font());
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(QRect(x, y, kCellWidth, kHeading), Qt::AlignCenter, QString::number(m.heading));
        const QRect frame(x + 4, y + kHeading, kCellWidth - 8, kPictureHeight);
        const QImage& image = m_pictures[static_cast<std::size_t>(m.picture)];
        if (!image.isNull())
            p.drawImage(frame, image);
        p.setFont(small);
        p.drawText(QRect(x + 1, frame.bottom() + 2, kCellWidth - 2, kCellHeight - kHeading - kPictureHeight - 4),
                   Qt::AlignHCenter | Qt::AlignTop | Qt::TextWrapAnywhere, QString::fromLatin1(vok::moduleStatusText(m).c_str()));
    }
}
