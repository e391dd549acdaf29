#include "treeexp.h"

#include "textcodec.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>

CTreeExp::CTreeExp(QWidget* parent) : QTreeWidget(parent)
{
    setObjectName("tree");
    setHeaderHidden(true);
    setRootIsDecorated(true);
    connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (m_ready && item && onLoadPage)
            onLoadPage(item->data(0, Qt::UserRole).toInt(), 0);
    });
    connect(this, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem*) { hide(); });
}

void CTreeExp::setTree(tree::ParameterTree* t)
{
    m_tree = t;
    m_ready = false;
    rebuildItems();
    m_ready = true;
}

void CTreeExp::rebuildItems()
{
    const bool ready = m_ready;
    m_ready = false;
    clear();
    m_items.assign(m_tree ? m_tree->nodes().size() : 0, nullptr);
    if (!m_tree || m_tree->nodes().empty()) {
        m_ready = ready;
        return;
    }
    std::function<void(int, QTreeWidgetItem*)> add = [&](int index, QTreeWidgetItem* parent) {
        const tree::Node& n = m_tree->node(index);
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
        item->setText(0, vok::decodeText(n.text()));
        item->setData(0, Qt::UserRole, index);
        if (n.bold) {
            QFont f = item->font(0);
            f.setBold(true);
            item->setFont(0, f);
        }
        m_items[static_cast<std::size_t>(index)] = item;
        for (int child : n.children)
            add(child, item);
    };
    add(0, nullptr);
    expandToDepth(0);
    m_ready = ready;
}

QTreeWidgetItem* CTreeExp::itemOf(int node) const
{
    return node >= 0 && node < static_cast<int>(m_items.size()) ? m_items[static_cast<std::size_t>(node)] : nullptr;
}

void CTreeExp::selectNode(int node)
{
    if (QTreeWidgetItem* item = itemOf(node)) {
        const bool ready = m_ready;
        m_ready = false;
        setCurrentItem(item);
        item->setExpanded(true);
        m_ready = ready;
    }
}

int CTreeExp::selectedNode() const
{
    return currentItem() ? currentItem()->data(0, Qt::UserRole).toInt() : -1;
}

void CTreeExp::favourite()
{
    if (!m_tree || !m_tree->isItem(selectedNode()))
        return;
    const int page = m_tree->toggleFavourite(selectedNode());
    if (page < 0)
        return;
    rebuildItems();
    selectNode(page);
    if (onLoadPage)
        onLoadPage(page, 1);
}

void CTreeExp::hide()
{
    if (!m_tree || !m_tree->isItem(selectedNode()))
        return;
    const int page = m_tree->toggleHidden(selectedNode());
    rebuildItems();
    selectNode(page);
    if (onLoadPage)
        onLoadPage(page, 0);
}

void CTreeExp::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        if (onEscape)
            onEscape();
        return;
    case Qt::Key_F1:
        if (onLoadPage)
            onLoadPage(selectedNode(), 0);
        return;
    case Qt::Key_F2:
        favourite();
        return;
    case Qt::Key_F4:
        hide();
        return;
    case Qt::Key_F5:
        if (onFocusView)
            onFocusView();
        return;
    default:
        QTreeWidget::keyPressEvent(event);
    }
}

void CTreeExp::contextMenuEvent(QContextMenuEvent* event)
{
    QTreeWidgetItem* item = itemAt(event->pos());
    if (!item || !m_tree)
        return;
    setCurrentItem(item);
    if (!m_tree->isItem(selectedNode()))
        return;
    QMenu menu(this);
    QAction* favAction = menu.addAction(m_favouriteText);
    QAction* hideAction = menu.addAction(m_hideText);
    QAction* chosen = menu.exec(viewport()->mapToGlobal(visualItemRect(item).bottomLeft()));
    if (chosen == favAction)
        favourite();
    else if (chosen == hideAction)
        hide();
}
