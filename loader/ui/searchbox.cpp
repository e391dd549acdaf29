#include "searchbox.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

namespace {
// More would only be scrolled through: a longer word finds fewer.
constexpr std::size_t kMaxShown = 300;
} // namespace

CSearchBox::CSearchBox(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    m_field = new QLineEdit(this);
    m_field->setObjectName("search");
    m_field->setPlaceholderText(QStringLiteral("Find a parameter (Ctrl+F)"));
    m_field->setClearButtonEnabled(true);
    m_results = new QListWidget(this);
    m_results->setObjectName("searchResults");
    m_results->hide();
    m_results->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_results->setTextElideMode(Qt::ElideMiddle);
    layout->addWidget(m_field);
    layout->addWidget(m_results);
    connect(m_field, &QLineEdit::textChanged, this, &CSearchBox::find);
    connect(m_field, &QLineEdit::returnPressed, this, [this] { choose(m_results->currentRow() >= 0 ? m_results->currentRow() : 0); });
    connect(m_results, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) { choose(m_results->row(item)); });
    m_field->installEventFilter(this);
}

void CSearchBox::setTree(const tree::ParameterTree* tree)
{
    m_tree = tree;
    find(m_field->text());
}

void CSearchBox::activate()
{
    m_field->setFocus();
    m_field->selectAll();
}

void CSearchBox::find(const QString& text)
{
    m_results->clear();
    m_hits = m_tree ? m_tree->search(text) : std::vector<tree::SearchHit>();
    if (m_hits.size() > kMaxShown)
        m_hits.resize(kMaxShown);
    for (const tree::SearchHit& h : m_hits) {
        // The name, and under it where it stands: the pane is narrow.
        QString line = h.name + QStringLiteral("\n    ") + h.where;
        if (h.hidden)
            line += QStringLiteral(" (hidden)");
        auto* item = new QListWidgetItem(line, m_results);
        item->setToolTip(h.key.isEmpty() ? h.where : h.key + QStringLiteral(": ") + h.where);
    }
    if (!m_hits.empty())
        m_results->setCurrentRow(0);
    m_results->setVisible(!text.trimmed().isEmpty());
    if (m_results->isVisible() && m_hits.empty())
        new QListWidgetItem(QStringLiteral("No parameter holds \"%1\"").arg(text.trimmed()), m_results);
}

void CSearchBox::choose(int index)
{
    if (index < 0 || index >= static_cast<int>(m_hits.size()))
        return;
    const tree::SearchHit hit = m_hits[static_cast<std::size_t>(index)];
    if (onChoose)
        onChoose(hit);
}

bool CSearchBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_field && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Down || key->key() == Qt::Key_Up) {
            const int row = m_results->currentRow() + (key->key() == Qt::Key_Down ? 1 : -1);
            if (row >= 0 && row < m_results->count())
                m_results->setCurrentRow(row);
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            m_field->clear();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
