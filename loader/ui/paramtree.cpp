#include "paramtree.h"

#include "fileutil.h"
#include "textcodec.h"
#include "texttable.h"

#include <algorithm>
#include <cstring>

namespace tree {

namespace {

struct SectionSpec {
    int section;
    vok::ListType type;
};

std::vector<SectionSpec> sectionsOf(int family)
{
    if (family == 1)
        return {{0, vok::ListType::FavoriteCom}, {6, vok::ListType::Com}};
    if (family == 2)
        return {{0, vok::ListType::FavoriteProfCom}, {7, vok::ListType::ProfCom}};
    return {{0, vok::ListType::Favorite}, {1, vok::ListType::Function}, {2, vok::ListType::Event},
            {3, vok::ListType::Analog}, {4, vok::ListType::AnalogAi}, {5, vok::ListType::AnalogAo}};
}

} // namespace

ListHeader readListHeader(std::string_view text)
{
    ListHeader h;
    std::size_t cur = 0;
    std::string field;
    bool end = false;
    // At most three fields of a line; a field with "//" starts it over.
    int counted = 0;
    while (cur < text.size() && counted < 3) {
        vok::readField(text, cur, vok::kNameLength, field, end);
        if (field.find("//") != std::string::npos) {
            counted = 0;
            h.caption.clear();
        } else {
            if (counted == 0)
                h.caption = field;
            ++counted;
        }
        if (end && counted > 0)
            break;
    }
    h.end = cur;
    return h;
}

std::string sectionCaption(const vok::DefinitionTables& tables, vok::ListType type)
{
    auto main = vok::readWholeFile(vok::joinPath(tables.folder(), vok::DefinitionTables::mainListName(type)));
    if (!main)
        return {};
    const std::string caption = readListHeader(main->view()).caption;
    return caption.empty() ? "Common" : caption;
}

std::vector<std::pair<int, int>> favouriteGroupTexts(int family)
{
    if (family == 1)
        return {{164, 165}};
    if (family == 2)
        return {{174, 175}};
    return {{158, 161}, {159, 162}, {160, 163}, {169, 171}, {170, 172}};
}

ParameterTree::ParameterTree(vok::DefinitionTables& tables, const vok::TextTable& texts, int family)
    : m_tables(tables), m_texts(texts), m_family(family)
{
    for (Section& s : m_sections)
        s.nodeOfSlot.fill(-1);
}

int ParameterTree::addNode(int section, int level, int parent, int number, const std::string& name)
{
    Section& s = m_sections[section];
    int slot = -1;
    for (int i = 0; i < kSlots; ++i) {
        if (s.nodeOfSlot[i] < 0) {
            slot = i;
            break;
        }
    }
    if (slot < 0)
        return -1; // the section's slots are used up: the node is refused
    Node n;
    n.level = level;
    n.section = section;
    n.slot = slot;
    n.number = number;
    n.name = name;
    n.parent = parent;
    n.bold = level == 4 && s.marks[slot] != 0;
    m_nodes.push_back(std::move(n));
    const int index = static_cast<int>(m_nodes.size()) - 1;
    if (parent >= 0)
        m_nodes[static_cast<std::size_t>(parent)].children.push_back(index);
    s.nodeOfSlot[slot] = index;
    return index;
}

std::string ParameterTree::addListOf(int section, int favoriteGroup) const
{
    if (section == 0) {
        const vok::ListType t = m_family == 1 ? vok::ListType::FavoriteCom
                                : m_family == 2 ? vok::ListType::FavoriteProfCom
                                                : vok::ListType::Favorite;
        return m_tables.addListName(t, favoriteGroup);
    }
    return m_tables.addListName(static_cast<vok::ListType>(section));
}

void ParameterTree::build()
{
    const auto marks = [this] {
        std::array<std::array<std::int32_t, kSlots>, kSections> m{};
        for (int i = 0; i < kSections; ++i)
            m[i] = m_sections[i].marks;
        return m;
    }();
    m_nodes.clear();
    m_modified = false;
    for (int i = 0; i < kSections; ++i) {
        m_sections[i] = Section();
        m_sections[i].nodeOfSlot.fill(-1);
        m_sections[i].marks = marks[i];
    }
    Node root;
    root.level = 0;
    root.name = m_texts.text(122);
    m_nodes.push_back(root);
    for (const SectionSpec& spec : sectionsOf(m_family))
        buildSection(spec.section, spec.type, addListOf(spec.section, 0), spec.section == 0);
}

void ParameterTree::buildSection(int section, vok::ListType mainType, const std::string& addList, bool favourites)
{
    const char* mainName = vok::DefinitionTables::mainListName(mainType);
    auto main = vok::readWholeFile(vok::joinPath(m_tables.folder(), mainName));
    auto add = vok::readWholeFile(vok::joinPath(m_tables.folder(), addList));
    if (!main || !add)
        return;
    std::string_view text = main->view();
    const ListHeader header = readListHeader(text);
    std::size_t cur = header.end;
    const std::string& caption = header.caption;
    Section& s = m_sections[section];
    s.present = true;
    const int sectionNode = addNode(section, 1, 0, 0, caption.empty() ? "Common" : caption);
    if (sectionNode < 0)
        return;
    auto message = [this](const char* m) {
        if (onMessage)
            onMessage(m);
    };
    std::string line;
    for (long long after; (after = vok::readLine(text, line, cur)) >= 0; cur = static_cast<std::size_t>(after)) {
        std::size_t lc = 0;
        bool lineEnd = false;
        std::string fields[3];
        for (int i = 0; i < 3 && !lineEnd; ++i)
            vok::readField(line, lc, vok::kNameLength, fields[i], lineEnd);
        if (!fields[0].empty()) {
            const int g = addNode(section, 2, sectionNode, s.groups + 1, fields[0]);
            if (g >= 0) {
                ++s.groups;
                s.currentGroup = g;
            }
        }
        if (!fields[1].empty()) {
            if (s.currentGroup < 0) {
                message("RootError");
            } else if (static_cast<int>(s.subgroups.size()) >= kMaxSubgroups) {
                message("RootOverError");
            } else {
                Node& group = m_nodes[static_cast<std::size_t>(s.currentGroup)];
                const int number = static_cast<int>(group.children.size()) + 1;
                const int sg = addNode(section, 3, s.currentGroup, number, fields[1]);
                if (sg >= 0) {
                    s.currentSubgroup = sg;
                    s.subgroups.push_back({m_nodes[static_cast<std::size_t>(sg)].slot, 0});
                }
            }
        }
        if (!fields[2].empty()) {
            std::string name = fields[2];
            if (!favourites) {
                vok::ParameterDefinition d;
                if (m_tables.findDefinition(mainType, fields[2], d) != vok::kTableOk)
                    continue; // a key the additional list does not resolve inserts nothing
                name = d.name;
            }
            if (s.currentSubgroup < 0) {
                message("RootError");
                continue;
            }
            const int index = subgroupIndex(section, m_nodes[static_cast<std::size_t>(s.currentSubgroup)].slot);
            if (s.subgroups[static_cast<std::size_t>(index)].items >= kMaxItems) {
                message("RootOverError");
                continue;
            }
            const int number = s.subgroups[static_cast<std::size_t>(index)].items + 1;
            if (const int item = addNode(section, 4, s.currentSubgroup, number, name); item >= 0) {
                if (!favourites)
                    m_nodes[static_cast<std::size_t>(item)].key = fields[2];
                ++s.subgroups[static_cast<std::size_t>(index)].items;
            }
        }
    }
}

int ParameterTree::subgroupIndex(int section, int slot) const
{
    const auto& list = m_sections[section].subgroups;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i].slot == slot)
            return static_cast<int>(i);
    }
    return -1;
}

int ParameterTree::slotsInUse() const
{
    int used = 0;
    for (const Section& s : m_sections)
        used += static_cast<int>(std::count_if(s.nodeOfSlot.begin(), s.nodeOfSlot.end(), [](int n) { return n >= 0; }));
    return used;
}

int ParameterTree::nodeAt(int section, int slot) const
{
    if (section < 0 || section >= kSections || slot < 0 || slot >= kSlots)
        return -1;
    return m_sections[section].nodeOfSlot[slot];
}

bool ParameterTree::isPage(int index) const
{
    if (index < 0 || index >= static_cast<int>(m_nodes.size()))
        return false;
    const Node& n = node(index);
    return n.level == 3 && subgroupIndex(n.section, n.slot) >= 0;
}

bool ParameterTree::loadPage(int index, Page& page)
{
    if (!isPage(index))
        return false;
    const Node& n = node(index);
    page = Page();
    page.node = index;
    page.section = n.section;
    page.favoriteGroup = n.section == 0 ? subgroupIndex(0, n.slot) : 0;
    page.title = n.text();
    const std::string addList = addListOf(n.section, page.favoriteGroup);
    for (int child : n.children) {
        const Node& item = node(child);
        if (m_sections[n.section].marks[item.slot])
            continue;
        vok::ParameterDefinition d;
        if (m_tables.findByName(addList, item.name, d) == vok::kTableOk)
            page.definitions.push_back(std::move(d));
    }
    return true;
}

std::vector<SearchHit> ParameterTree::search(const QString& text) const
{
    std::vector<SearchHit> out;
    const QString wanted = text.trimmed();
    if (wanted.isEmpty())
        return out;
    for (int page = 0; page < static_cast<int>(m_nodes.size()); ++page) {
        const Node& p = node(page);
        if (p.level != 3 || p.section == 0)
            continue;
        int row = 0;
        for (int child : p.children) {
            const Node& item = node(child);
            const bool hidden = m_sections[static_cast<std::size_t>(p.section)].marks[static_cast<std::size_t>(item.slot)] != 0;
            const QString name = vok::decodeText(item.name).trimmed();
            const QString key = QString::fromLatin1(item.key.c_str());
            if (name.contains(wanted, Qt::CaseInsensitive) || key.contains(wanted, Qt::CaseInsensitive)) {
                const Node& group = node(p.parent);
                const Node& section = node(group.parent);
                out.push_back({child, page, hidden ? -1 : row, hidden, name, key,
                               vok::decodeText(section.name) + QStringLiteral(" / ") + vok::decodeText(group.name)
                                   + QStringLiteral(" / ") + vok::decodeText(p.name)});
            }
            if (!hidden)
                ++row;
        }
    }
    return out;
}

void ParameterTree::renumber(int subgroupNode)
{
    int number = 0;
    for (int child : m_nodes[static_cast<std::size_t>(subgroupNode)].children)
        m_nodes[static_cast<std::size_t>(child)].number = ++number;
}

int ParameterTree::toggleFavourite(int item)
{
    if (!isItem(item))
        return -1;
    const Node it = node(item);
    if (it.section != 0) {
        // The favourites page of the item's category.
        const int group = m_family == 0 ? it.section - 1 : 0;
        if (group >= static_cast<int>(m_sections[0].subgroups.size()))
            return -1;
        SubgroupEntry& target = m_sections[0].subgroups[static_cast<std::size_t>(group)];
        if (target.items > kMaxItems - 1) {
            if (onTextMessage)
                onTextMessage(125);
            return -1;
        }
        const int page = nodeAt(0, target.slot);
        if (addNode(0, 4, page, target.items + 1, it.name) < 0)
            return -1;
        ++target.items;
        m_modified = true;
        return page;
    }
    // Out of the favourites: the node goes, its slot and mark are freed, the rest renumbered.
    const int page = it.parent;
    Node& parent = m_nodes[static_cast<std::size_t>(page)];
    parent.children.erase(std::find(parent.children.begin(), parent.children.end(), item));
    Section& s = m_sections[0];
    s.nodeOfSlot[it.slot] = -1;
    s.marks[it.slot] = 0;
    m_nodes[static_cast<std::size_t>(item)].level = -1; // detached
    --s.subgroups[static_cast<std::size_t>(subgroupIndex(0, parent.slot))].items;
    renumber(page);
    m_modified = true;
    return page;
}

int ParameterTree::toggleHidden(int item)
{
    if (!isItem(item))
        return -1;
    Node& n = m_nodes[static_cast<std::size_t>(item)];
    auto& mark = m_sections[n.section].marks[n.slot];
    mark = mark ? 0 : 1;
    n.bold = mark != 0;
    m_modified = true;
    return n.parent;
}

bool ParameterTree::saveFavourites(std::string* error) const
{
    const int sectionNode = nodeAt(0, 0);
    if (sectionNode < 0)
        return true; // no favourites section was built: nothing to keep
    const char* file = vok::DefinitionTables::mainListName(m_family == 1   ? vok::ListType::FavoriteCom
                                                           : m_family == 2 ? vok::ListType::FavoriteProfCom
                                                                           : vok::ListType::Favorite);
    std::string out = node(sectionNode).name + ",,\r\n";
    const auto ids = favouriteGroupTexts(m_family);
    const auto& subgroups = m_sections[0].subgroups;
    for (std::size_t g = 0; g < subgroups.size(); ++g) {
        const Node& page = node(nodeAt(0, subgroups[g].slot));
        std::string groupName = g < ids.size() ? m_texts.text(ids[g].first) : node(page.parent).name;
        std::string pageName = g < ids.size() ? m_texts.text(ids[g].second) : page.name;
        out += groupName + "," + pageName + ",";
        bool first = true;
        for (int child : page.children) {
            out += first ? node(child).name + "\r\n" : ",," + node(child).name + "\r\n";
            first = false;
        }
        if (first)
            out += "\r\n";
    }
    return vok::replaceFile(vok::joinPath(m_tables.folder(), file), out, error) == vok::WriteResult::Ok;
}

bool ParameterTree::saveHiddenMarks(std::string* error) const
{
    std::string out;
    out.reserve(kSections * kSlots * 4);
    for (const Section& s : m_sections) {
        for (std::int32_t m : s.marks) {
            const auto u = static_cast<std::uint32_t>(m);
            for (int b = 0; b < 4; ++b)
                out.push_back(static_cast<char>((u >> (8 * b)) & 0xFF));
        }
    }
    return vok::replaceFile(vok::joinPath(m_tables.folder(), "View_FlgArea.fil"), out, error) == vok::WriteResult::Ok;
}

void ParameterTree::loadHiddenMarks()
{
    const std::string path = vok::joinPath(m_tables.folder(), "View_FlgArea.fil");
    for (int k = 0; k < kSections; ++k) {
        std::uint8_t block[kSlots * 4];
        const long long n = vok::readAt(path, static_cast<std::uint64_t>(k) * sizeof block, block, sizeof block);
        auto& marks = m_sections[k].marks;
        marks.fill(0);
        // A block that cannot be read whole leaves the section's marks cleared.
        if (n != static_cast<long long>(sizeof block))
            continue;
        for (int i = 0; i < kSlots; ++i) {
            std::uint32_t u = 0;
            for (int b = 0; b < 4; ++b)
                u |= static_cast<std::uint32_t>(block[4 * i + b]) << (8 * b);
            marks[i] = static_cast<std::int32_t>(u);
        }
    }
}

std::string ParameterTree::render() const
{
    std::string out;
    std::function<void(int, int)> walk = [&](int index, int depth) {
        const Node& n = node(index);
        out += std::string(static_cast<std::size_t>(2 * depth), ' ') + n.text() + (n.bold ? " [hidden]" : "") + "\n";
        for (int child : n.children)
            walk(child, depth + 1);
    };
    walk(0, 0);
    return out;
}

} // namespace tree
