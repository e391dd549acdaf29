#include "detaildlg.h"

#include "desktopwindows.h"
#include "editing.h"
#include "fileutil.h"
#include "inputdlg.h"
#include "loadercore.h"
#include "paintarea.h"
#include "textcodec.h"
#include "uitext.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QUrl>
#include <QVBoxLayout>

namespace {

const QColor kGrid(128, 128, 128);
const QColor kMagenta(255, 0, 255);
const QColor kRed(255, 0, 0);

// The category of a station's parameters, which names the lists of its related groups.
vok::ListType listTypeOf(const vok::DataStore& store, int stationIndex, int family)
{
    if (family == 1)
        return vok::ListType::Com;
    if (family == 2)
        return vok::ListType::ProfCom;
    switch (store.modelClass(stationIndex)) {
    case vok::kClassE: return vok::ListType::Event;
    case vok::kClassV: return vok::ListType::Analog;
    case vok::kClassN: return vok::ListType::AnalogAi;
    case vok::kClassT: return vok::ListType::AnalogAo;
    default: return stationIndex < vok::kControlStations ? vok::ListType::Function : vok::ListType::Event;
    }
}

} // namespace

CDetailDlg::Picture CDetailDlg::pictureKindOf(const std::string& name)
{
    if (name.empty())
        return Picture::None;
    auto after = [&](const char* ext) {
        const std::size_t at = name.find(ext);
        return at != std::string::npos && at > 0;
    };
    if (after(".bmp") || after(".BMP"))
        return Picture::Bitmap;
    if (after(".jpg") || after(".JPG"))
        return Picture::Jpeg;
    return Picture::Document;
}

CDetailDlg::CDetailDlg(LoaderCore& core, int channel, const vok::ParameterDefinition& selected, QWidget* parent)
    : QDialog(parent), m_core(core), m_channel(channel), m_selectedDef(selected)
{
    setObjectName("Related parameter");
    setWindowTitle(core.text(55, "Related parameters"));
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    m_grid = new PaintArea(this);
    m_grid->setObjectName("grid");
    m_grid->setMinimumWidth(560);
    m_grid->setFixedHeight(kFirstLine + kRowHeight * kShownRows + 2);
    m_grid->setFocusPolicy(Qt::NoFocus);
    m_grid->paint = [this](QPainter& p) { paintGrid(p); };
    m_grid->doubleClick = [this](QMouseEvent* e) { editAt(static_cast<int>(e->position().y())); };
    top->addWidget(m_grid, 1);
    m_scroll = new QScrollBar(Qt::Vertical, this);
    m_scroll->setObjectName("scroll");
    m_scroll->setSingleStep(1);
    m_scroll->setPageStep(kShownRows);
    connect(m_scroll, &QScrollBar::valueChanged, this, [this](int v) {
        if (rowCount() > kShownRows) {
            m_first = v;
            m_grid->update();
        }
    });
    top->addWidget(m_scroll);
    layout->addLayout(top);
    m_pictureArea = new PaintArea(this);
    m_pictureArea->setObjectName("picture");
    m_pictureArea->setMinimumSize(560, 240);
    m_pictureArea->paint = [this](QPainter& p) { paintPicture(p); };
    layout->addWidget(m_pictureArea, 1);
    auto* buttons = new QHBoxLayout;
    m_manual = new QPushButton(QStringLiteral("Manual"), this);
    m_manual->setObjectName("manual");
    m_manual->setAutoDefault(false);
    connect(m_manual, &QPushButton::clicked, this, &CDetailDlg::openManual);
    buttons->addWidget(m_manual);
    buttons->addStretch(1);
    auto* cancel = new QPushButton(uiText(core.texts, 98, "Cancel"), this);
    cancel->setObjectName("cancel");
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    // The related group: rows of the selected parameter's group whose key the main list has.
    const auto group = core.tables->loadGroup(listTypeOf(core.store, channel / 4, core.family), selected.group);
    m_rows = group.definitions;
    m_values.assign(m_rows.size(), 0);
    m_states.assign(m_rows.size(), 2);
    refreshRows();
    m_scroll->setRange(0, std::max(0, rowCount() - kShownRows));
    m_scroll->setEnabled(rowCount() > kShownRows);

    m_picture = pictureKindOf(selected.extraText);
    if (m_picture == Picture::Bitmap || m_picture == Picture::Jpeg) {
        // An unreadable picture leaves the area empty, without a word.
        m_image.load(QString::fromStdString(vok::joinPath(vok::joinPath(core.tables->folder(), "BMP"), selected.extraText)));
        m_manual->hide();
        m_manual->setEnabled(false);
    } else {
        m_pictureArea->hide();
        m_manual->setVisible(m_picture == Picture::Document);
    }
    // Without a picture the screen ends under the grid.
    resize(720, m_pictureArea->isHidden() ? sizeHint().height() : 560);
}

CDetailDlg::~CDetailDlg() = default;

void CDetailDlg::refreshRows()
{
    const int station = m_channel / 4 + 1;
    const bool present = m_core.store.stationPresent[static_cast<std::size_t>(station - 1)] != 0;
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        const int reg = edit::registerOf(m_rows[i], m_channel);
        if (reg == 0 || !present) {
            m_states[i] = 2;
            continue;
        }
        std::uint16_t v = 0;
        if (m_core.store.getStoredValue(station, reg, v)) {
            m_states[i] = 1; // the previous value stays
            continue;
        }
        m_values[i] = v;
        m_states[i] = 0;
    }
    m_grid->update();
}

bool CDetailDlg::scrollEnabled() const
{
    return m_scroll->isEnabled();
}

std::array<int, 4> CDetailDlg::columnWidths() const
{
    const double scale = std::max(1, m_grid->width() - 11) / 660.0;
    return {static_cast<int>(80 * scale), static_cast<int>(200 * scale), static_cast<int>(300 * scale),
            static_cast<int>(80 * scale)};
}

QString CDetailDlg::cellText(int row, int column) const
{
    if (row < 0 || row >= rowCount())
        return {};
    const vok::ParameterDefinition& d = m_rows[static_cast<std::size_t>(row)];
    switch (column) {
    case 0: return vok::decodeText(d.key);
    case 1: return vok::decodeText(d.name);
    case 2: return vok::decodeText(d.comment);
    default: break;
    }
    // A failed transfer shows "-" as in the grid, a row without a register nothing.
    const int state = m_states[static_cast<std::size_t>(row)];
    if (state == 2)
        return {};
    if (state == 1)
        return QStringLiteral("-");
    return vok::decodeText(m_core.editor->formatter().formatValue(m_channel, m_values[static_cast<std::size_t>(row)], d));
}

void CDetailDlg::paintGrid(QPainter& p)
{
    p.fillRect(m_grid->rect(), Qt::white);
    QFont font = p.font();
    font.setPixelSize(12);
    font.setWeight(QFont::Normal);
    p.setFont(font);
    const auto widths = columnWidths();
    const int shown = std::min(rowCount() - m_first, kShownRows);
    const int station = m_channel / 4 + 1;
    for (int i = 0; i < shown; ++i) {
        const int row = m_first + i;
        const int y = kFirstLine + kRowHeight * i;
        int x = 1;
        for (int c = 0; c < 4; ++c) {
            const QRect cell(x, y, widths[static_cast<std::size_t>(c)], kRowHeight);
            const int reg = edit::registerOf(m_rows[static_cast<std::size_t>(row)], m_channel);
            const bool edited = c == 3 && reg >= 40000 && m_core.store.isEdited(station - 1, reg);
            p.setPen(edited ? kRed : QColor(Qt::black));
            const int align = (c == 3 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter | Qt::TextSingleLine;
            const QString text = QStringLiteral(" ") + cellText(row, c) + (c == 3 ? QStringLiteral(" ") : QString());
            p.drawText(cell, align, p.fontMetrics().elidedText(text, Qt::ElideRight, cell.width()));
            x += widths[static_cast<std::size_t>(c)];
        }
    }
    p.setPen(kGrid);
    const int right = 1 + widths[0] + widths[1] + widths[2] + widths[3];
    const int bottom = kFirstLine + kRowHeight * std::max(shown, 0);
    for (int i = 0; i <= std::max(shown, 0); ++i)
        p.drawLine(1, kFirstLine + kRowHeight * i, right, kFirstLine + kRowHeight * i);
    int x = 1;
    p.drawLine(x, kFirstLine, x, bottom);
    for (int w : widths) {
        x += w;
        p.drawLine(x, kFirstLine, x, bottom);
    }
    if (m_selected >= 0 && m_selected < shown) {
        const int left = 1 + widths[0] + widths[1] + widths[2];
        p.setPen(kMagenta);
        p.drawRect(QRect(left + 1, kFirstLine + kRowHeight * m_selected + 1, widths[3] - 3, kRowHeight - 3));
    }
}

void CDetailDlg::paintPicture(QPainter& p)
{
    if (m_image.isNull())
        return;
    // At its own size, each axis reduced to the area where the picture is larger.
    const int w = std::min(m_image.width(), m_pictureArea->width());
    const int h = std::min(m_image.height(), m_pictureArea->height());
    p.drawImage(QRect(0, 0, w, h), m_image);
}

void CDetailDlg::scrollBy(int rows)
{
    const int top = std::max(0, rowCount() - kShownRows);
    const int v = std::clamp(m_scroll->value() + rows, 0, top);
    if (rowCount() > kShownRows)
        m_scroll->setValue(v);
}

void CDetailDlg::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        editRow(m_first + m_selected);
        return;
    case Qt::Key_Up:
        if (m_selected > 0)
            --m_selected;
        else
            scrollBy(-1);
        m_grid->update();
        return;
    case Qt::Key_Down:
        if (m_selected + 1 < kShownRows && m_selected + 1 < rowCount())
            ++m_selected;
        else
            scrollBy(1);
        m_grid->update();
        return;
    case Qt::Key_PageUp:
        scrollBy(-1);
        return;
    case Qt::Key_PageDown:
        scrollBy(1);
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void CDetailDlg::editAt(int y)
{
    // The header band above the first line holds no row.
    if (y < kFirstLine)
        return;
    const int shownRow = (y - kFirstLine) / kRowHeight;
    const int shown = std::min(rowCount() - m_first, kShownRows);
    if (shownRow >= shown)
        return;
    m_selected = shownRow;
    m_grid->update();
    editRow(m_first + shownRow);
}

void CDetailDlg::editRow(int row)
{
    if (row < 0 || row >= rowCount() || m_states[static_cast<std::size_t>(row)] == 2)
        return;
    const vok::ParameterDefinition& d = m_rows[static_cast<std::size_t>(row)];
    if (openInput(m_core, m_channel, d, m_values[static_cast<std::size_t>(row)], edit::Mode::Detail, this)) {
        m_changed = true;
        refreshRows();
        if (m_core.editor->refreshTree)
            m_core.editor->refreshTree();
    }
}

void CDetailDlg::openManual()
{
    const QString path = QDir::current().filePath(
        QString::fromStdString(vok::joinPath(vok::joinPath(m_core.tables->folder(), "BMP"), m_selectedDef.extraText)));
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
}

void CDetailDlg::done(int result)
{
    // The manual's viewer closes with the screen, wherever a window shows its file.
    if (m_picture == Picture::Document)
        desktop::closeWindows(QFileInfo(QString::fromStdString(m_selectedDef.extraText)).fileName());
    QDialog::done(result);
}

QImage CDetailDlg::gridImage()
{
    return m_grid->grab().toImage();
}
