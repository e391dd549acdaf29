#include "vokview.h"

#include "format.h"
#include "loadercore.h"
#include "textcodec.h"

#include <QKeyEvent>
#include <algorithm>
#include <QPainter>
#include <QHelpEvent>
#include <QScrollBar>
#include <QToolTip>

namespace {

const QColor kCyan(0, 255, 255);
const QColor kLightCyan(204, 255, 255);
const QColor kGrid(128, 128, 128);
const QColor kMagenta(255, 0, 255);
const QColor kRed(255, 0, 0);
// A cell whose module value differs from the PC's (a comparison with the line).
const QColor kCompared(255, 214, 153);

} // namespace

CVokView::CVokView(LoaderCore& core, QWidget* parent) : QWidget(parent), m_core(core)
{
    setObjectName("view");
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(false);
    m_h = new QScrollBar(Qt::Horizontal, this);
    m_v = new QScrollBar(Qt::Vertical, this);
    m_h->setObjectName("horizontal");
    m_v->setObjectName("vertical");
    m_h->setSingleStep(1);
    m_v->setSingleStep(1);
    m_h->setPageStep(10);
    m_v->setPageStep(10);
    connect(m_h, &QScrollBar::valueChanged, this, [this] { update(); });
    connect(m_v, &QScrollBar::valueChanged, this, [this] { update(); });
    updateRanges();
}

void CVokView::clearPage()
{
    m_page = tree::Page();
    m_names.clear();
    m_columns.clear();
    updateRanges();
    update();
}

void CVokView::showPage(const tree::Page& page, bool keepPosition)
{
    m_page = page;
    m_names.clear();
    for (const vok::ParameterDefinition& d : m_page.definitions)
        m_names.push_back(QStringLiteral("  ") + vok::decodeText(d.name));
    layoutColumns();
    if (!keepPosition) {
        m_h->setValue(0);
        m_v->setValue(0);
        m_selColumn = 0;
        m_selRow = 1;
    }
    updateRanges();
    update();
}

void CVokView::layoutColumns()
{
    m_columns.clear();
    m_eventColumns = false;
    m_stationOneColumns = false;
    int section = m_page.section;
    if (section == 0)
        section = m_core.family == 0 ? m_page.favoriteGroup + 1 : -1;
    if (section == 6 || section == 7 || section < 0) {
        m_stationOneColumns = true;
        for (int c = 0; c < 4; ++c)
            m_columns.push_back(c);
        return;
    }
    const int list = section - 1; // channel lists 0-4 for sections 1-5
    if (list < 0 || list > 4)
        return;
    const vok::ChannelList& channels = m_core.store.channelList(list);
    m_eventColumns = list == 1;
    for (int e = 0; e < channels.count; ++e) {
        for (int c = 0; c < (m_eventColumns ? 1 : 4); ++c)
            m_columns.push_back(channels.entries[static_cast<std::size_t>(e)][static_cast<std::size_t>(c)]);
    }
}

int CVokView::namesWidth() const
{
    return (width() - m_v->sizeHint().width()) * 30 / 100;
}

int CVokView::columnWidth() const
{
    return std::max(1, (width() - m_v->sizeHint().width() - namesWidth()) / kVisibleColumns);
}

int CVokView::visibleRows() const
{
    return std::max(0, (height() - m_h->sizeHint().height() - 36) / kRowHeight);
}

void CVokView::updateRanges()
{
    const int hRange = std::max(0, columnCount() - kVisibleColumns);
    m_h->setRange(0, hRange);
    m_h->setEnabled(hRange > 0 && !m_stationOneColumns);
    const int vRange = std::max(0, rowCount() - visibleRows());
    m_v->setRange(0, vRange);
    m_v->setEnabled(vRange > 0);
}

void CVokView::resizeEvent(QResizeEvent*)
{
    const int sb = m_v->sizeHint().width();
    const int hb = m_h->sizeHint().height();
    m_v->setGeometry(width() - sb, 0, sb, height() - hb);
    m_h->setGeometry(namesWidth(), height() - hb, width() - sb - namesWidth(), hb);
    updateRanges();
}

QString CVokView::title() const
{
    return vok::decodeText(m_page.title);
}

QString CVokView::rowName(int row) const
{
    return row >= 0 && row < rowCount() ? m_names[static_cast<std::size_t>(row)].trimmed() : QString();
}

QString CVokView::headerText(int column) const
{
    if (column < 0 || column >= columnCount())
        return {};
    if (m_stationOneColumns) {
        if (m_page.section == 0)
            return {};
        const int first = m_v->value();
        const bool twoChannels = first < rowCount() && m_page.definitions[static_cast<std::size_t>(first)].registers[1] != 0;
        return twoChannels && column < 2 ? QStringLiteral("(%1)").arg(column + 1) : QString();
    }
    const int channel = m_columns[static_cast<std::size_t>(column)];
    if (m_eventColumns)
        return QString::number(channel / 4 + 1);
    return QStringLiteral("%1 - ch%2").arg(channel / 4 + 1).arg(channel % 4 + 1);
}

QString CVokView::cellText(int row, int column) const
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return {};
    const vok::ParameterDefinition& d = m_page.definitions[static_cast<std::size_t>(row)];
    const int channel = m_columns[static_cast<std::size_t>(column)];
    const int station = channel / 4 + 1;
    const int k = channel % 4;
    const vok::DataStore& store = m_core.store;
    if (d.registers[static_cast<std::size_t>(k)] == 0 || !store.stationPresent[static_cast<std::size_t>(station - 1)])
        return {};
    // A failed channel makes the later channels of the station show "-" too.
    for (int j = 0; j <= k; ++j) {
        const int reg = d.registers[static_cast<std::size_t>(j)];
        if (reg && store.commError(station - 1, reg))
            return QStringLiteral("-");
    }
    if (store.modelClass(station - 1) == vok::kClassB && k >= 2 && d.channelLimit <= k)
        return {};
    std::uint16_t raw = 0;
    store.getStoredValue(station, d.registers[static_cast<std::size_t>(k)], raw);
    const vok::ValueFormatter formatter(store, m_core.tables->specials());
    return vok::decodeText(formatter.formatValue(channel, raw, d));
}

QString CVokView::choiceText(int row, int column) const
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return {};
    const vok::ParameterDefinition& d = m_page.definitions[static_cast<std::size_t>(row)];
    const QString shown = cellText(row, column);
    if (d.dataType != 2 || shown.isEmpty() || shown == QStringLiteral("-"))
        return {};
    const int channel = m_columns[static_cast<std::size_t>(column)];
    std::uint16_t raw = 0;
    m_core.store.getStoredValue(channel / 4 + 1, d.registers[static_cast<std::size_t>(channel % 4)], raw);
    if (raw >= d.choiceCount())
        return {};
    return vok::decodeText(d.choiceText(raw)).trimmed();
}

void CVokView::selectCell(int row, int column)
{
    if (row < 0 || row >= rowCount())
        return;
    column = std::clamp(column, 0, std::max(0, columnCount() - 1));
    const int rows = std::max(1, visibleRows());
    if (row < m_v->value() || row >= m_v->value() + rows)
        m_v->setValue(row);
    m_selRow = row - m_v->value() + 1;
    if (column < m_h->value() || column >= m_h->value() + kVisibleColumns)
        m_h->setValue(column);
    m_selColumn = column - m_h->value();
    selectionMoved();
    update();
}

QString CVokView::pageAsText() const
{
    const PrintTable t = printable();
    QString out = t.title;
    for (int c = 1; c < t.headings.size(); ++c)
        out += QLatin1Char('\t') + t.headings[c];
    out += QLatin1Char('\n');
    for (const QStringList& row : t.rows)
        out += row.join(QLatin1Char('\t')) + QLatin1Char('\n');
    return out;
}

void CVokView::selectionMoved()
{
    if (onSelectionText)
        onSelectionText(choiceText(currentRow(), currentColumn()));
}

PrintTable CVokView::printable() const
{
    PrintTable t;
    t.title = title();
    t.headings << QString();
    for (int c = 0; c < columnCount(); ++c)
        t.headings << headerText(c);
    for (int r = 0; r < rowCount(); ++r) {
        QStringList row{rowName(r)};
        std::vector<bool> red{false};
        for (int c = 0; c < columnCount(); ++c) {
            row << cellText(r, c);
            red.push_back(cellEdited(r, c));
        }
        t.rows.push_back(row);
        t.red.push_back(std::move(red));
    }
    return t;
}

bool CVokView::cellEdited(int row, int column) const
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return false;
    const int channel = m_columns[static_cast<std::size_t>(column)];
    const int reg = m_page.definitions[static_cast<std::size_t>(row)].registers[static_cast<std::size_t>(channel % 4)];
    return reg && m_core.store.isEdited(channel / 4, reg);
}

QString CVokView::comparedText(int row, int column) const
{
    if (m_core.comparison.empty() || row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return {};
    const int channel = m_columns[static_cast<std::size_t>(column)];
    const vok::ParameterDefinition& d = m_page.definitions[static_cast<std::size_t>(row)];
    const int reg = d.registers[static_cast<std::size_t>(channel % 4)];
    auto it = m_core.comparison.find({channel / 4, reg});
    if (!reg || it == m_core.comparison.end())
        return {};
    const vok::ValueFormatter formatter(m_core.store, m_core.tables->specials());
    return vok::decodeText(formatter.formatValue(channel, it->second, d));
}

bool CVokView::event(QEvent* e)
{
    if (e->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(e);
        int column = 0, row = 0;
        QString tip;
        if (cellAt(help->pos(), column, row)) {
            const QString module = comparedText(m_v->value() + row - 1, m_h->value() + column);
            if (!module.isEmpty())
                tip = QStringLiteral("Module: %1").arg(module);
            const QString choice = choiceText(m_v->value() + row - 1, m_h->value() + column);
            if (!choice.isEmpty())
                tip = tip.isEmpty() ? choice : choice + QLatin1Char('\n') + tip;
        }
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, this);
        return true;
    }
    return QWidget::event(e);
}

void CVokView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const int sb = m_v->sizeHint().width();
    const int hb = m_h->sizeHint().height();
    const int areaHeight = height() - hb;
    const int names = namesWidth();
    const int cw = columnWidth();
    p.fillRect(QRect(0, 0, width() - sb, areaHeight), Qt::white);
    QFont font = p.font();
    font.setPixelSize(12);
    p.setFont(font);

    const int rows = std::min(visibleRows(), std::max(0, rowCount() - m_v->value()));
    const int firstColumn = m_h->value();
    const int columns = std::min(kVisibleColumns, std::max(0, columnCount() - firstColumn));
    // Row 0: the page title over the names, the headers over the values.
    p.fillRect(QRect(0, 0, names, kRowHeight), kCyan);
    p.setPen(Qt::black);
    p.drawText(QRect(4, 0, names - 4, kRowHeight), Qt::AlignLeft | Qt::AlignVCenter, title());
    for (int c = 0; c < kVisibleColumns; ++c) {
        const QRect cell(names + c * cw, 0, cw, kRowHeight);
        p.fillRect(cell, kCyan);
        if (c < columns)
            p.drawText(cell, Qt::AlignCenter, headerText(firstColumn + c));
    }
    for (int r = 0; r < rows; ++r) {
        const int row = m_v->value() + r;
        const int y = kRowHeight + r * kRowHeight;
        const QRect nameCell(0, y, names, kRowHeight);
        p.fillRect(nameCell, kLightCyan);
        p.setPen(Qt::black);
        p.drawText(nameCell.adjusted(4, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, m_names[static_cast<std::size_t>(row)]);
        for (int c = 0; c < columns; ++c) {
            const QRect cell(names + c * cw, y, cw, kRowHeight);
            if (!comparedText(row, firstColumn + c).isEmpty())
                p.fillRect(cell, kCompared);
            p.setPen(cellEdited(row, firstColumn + c) ? kRed : QColor(Qt::black));
            p.drawText(cell.adjusted(0, 0, -4, 0), Qt::AlignRight | Qt::AlignVCenter, cellText(row, firstColumn + c));
        }
    }
    p.setPen(kGrid);
    const int bottom = kRowHeight * (rows + 1);
    for (int r = 0; r <= rows + 1; ++r)
        p.drawLine(0, r * kRowHeight, names + kVisibleColumns * cw, r * kRowHeight);
    p.drawLine(0, 0, 0, bottom);
    for (int c = 0; c <= kVisibleColumns; ++c)
        p.drawLine(names + c * cw, 0, names + c * cw, bottom);
    if (m_selRow >= 1 && m_selRow <= rows && m_selColumn < columns) {
        p.setPen(kMagenta);
        p.drawRect(QRect(names + m_selColumn * cw + 1, m_selRow * kRowHeight + 1, cw - 3, kRowHeight - 3));
    }
}

bool CVokView::cellAt(const QPoint& pt, int& column, int& row) const
{
    const int names = namesWidth();
    if (pt.x() < names || pt.y() < kRowHeight)
        return false;
    column = (pt.x() - names) / columnWidth();
    row = pt.y() / kRowHeight;
    return column < kVisibleColumns && row >= 1 && row <= visibleRows();
}

int CVokView::currentRow() const
{
    return m_v->value() + m_selRow - 1;
}

int CVokView::currentColumn() const
{
    return m_h->value() + m_selColumn;
}

void CVokView::open(bool detail)
{
    const int row = currentRow();
    const int column = currentColumn();
    if (row >= rowCount() || column >= columnCount())
        return;
    const QString text = cellText(row, column);
    // Only a cell with a value opens.
    if (text.isEmpty() || text == QStringLiteral("-"))
        return;
    if (onOpenCell)
        onOpenCell(row, column, detail);
}

void CVokView::mousePressEvent(QMouseEvent* event)
{
    setFocus();
    int column = 0, row = 0;
    if (!cellAt(event->pos(), column, row))
        return;
    m_selColumn = column;
    m_selRow = row;
    selectionMoved();
    update();
    if (event->button() == Qt::RightButton)
        open(true);
}

void CVokView::mouseDoubleClickEvent(QMouseEvent* event)
{
    int column = 0, row = 0;
    if (cellAt(event->pos(), column, row))
        open(false);
}

void CVokView::wheelEvent(QWheelEvent* event)
{
    m_v->setValue(m_v->value() - event->angleDelta().y() / 40);
}

void CVokView::keyPressEvent(QKeyEvent* event)
{
    const int rows = visibleRows();
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        open(false);
        break;
    case Qt::Key_F1:
        open(true);
        break;
    case Qt::Key_Escape:
        if (onEscape)
            onEscape();
        break;
    case Qt::Key_F5:
        if (onFocusTree)
            onFocusTree();
        break;
    case Qt::Key_Left:
        if (m_selColumn > 0)
            --m_selColumn;
        else
            m_h->setValue(m_h->value() - 1);
        break;
    case Qt::Key_Right:
        if (m_selColumn < kVisibleColumns - 1)
            ++m_selColumn;
        else
            m_h->setValue(m_h->value() + 1);
        break;
    case Qt::Key_Up:
        if (m_selRow > 1)
            --m_selRow;
        else
            m_v->setValue(m_v->value() - 1);
        break;
    case Qt::Key_Down:
        if (m_selRow < rows)
            ++m_selRow;
        else
            m_v->setValue(m_v->value() + 1);
        break;
    case Qt::Key_PageUp:
        m_v->setValue(m_v->value() - 1);
        break;
    case Qt::Key_PageDown:
        m_v->setValue(m_v->value() + 1);
        break;
    case Qt::Key_Home:
        m_h->setValue(m_h->value() - 1);
        break;
    case Qt::Key_End:
        m_h->setValue(m_h->value() + 1);
        break;
    default: {
        // Typing a number on a value cell starts its input with what was typed.
        const QString typed = event->text();
        if (typed.size() == 1 && (typed[0].isDigit() || typed == QLatin1String("-") || typed == QLatin1String("."))
            && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            const int row = currentRow(), column = currentColumn();
            const QString text = cellText(row, column);
            if (!text.isEmpty() && text != QStringLiteral("-") && onTypedIntoCell)
                onTypedIntoCell(row, column, typed);
            return;
        }
        QWidget::keyPressEvent(event);
        return;
    }
    }
    selectionMoved();
    update();
}
