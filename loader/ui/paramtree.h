#pragma once
// The parameter tree without widgets: sections, groups, pages (subgroups) and items built
// from the main lists, the node slots and hidden marks, favourites, and page loading.
// The tree explorer window shows it; tests read it as indented text.

#include "definitions.h"

#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vok {
class TextTable;
}

namespace tree {

inline constexpr int kSections = 8;
inline constexpr int kSlots = 2000;
inline constexpr int kMaxSubgroups = 99;
inline constexpr int kMaxItems = 200;

struct Node {
    int level = 0;       // 0 root, 1 section, 2 group, 3 subgroup (page), 4 item
    int section = -1;
    int slot = -1;
    int number = 0;      // the number before the colon
    std::string name;    // bytes as in the files
    std::string key;     // an item's key (empty in the favourites, which list names)
    int parent = -1;
    std::vector<int> children;
    bool bold = false;   // a hidden-marked item
    std::string text() const { return level <= 1 ? name : std::to_string(number) + ":" + name; }
};

// A parameter found by the search: its item and page nodes, its row on the page (-1 when the
// item is hidden and the page does not show it).
struct SearchHit {
    int item = -1;
    int page = -1;
    int row = -1;
    bool hidden = false;
    QString name;
    QString key;
    QString where; // "section / group / page"
};

struct Page {
    int node = -1;
    int section = -1;
    int favoriteGroup = 0;
    std::string title;
    std::vector<vok::ParameterDefinition> definitions;
};

class ParameterTree {
public:
    ParameterTree(vok::DefinitionTables& tables, const vok::TextTable& texts, int family);

    // "RootError" / "RootOverError" while building; texts 125 for a full favourites page.
    std::function<void(const std::string&)> onMessage;
    std::function<void(int textId)> onTextMessage;

    void build();
    const std::vector<Node>& nodes() const { return m_nodes; }
    const Node& node(int i) const { return m_nodes[static_cast<std::size_t>(i)]; }
    // Indented text of the whole tree, for tests and logs.
    std::string render() const;

    // The node of a section's slot, or -1.
    int nodeAt(int section, int slot) const;
    // The first favourites page (slot 2 of section 0).
    int firstFavouritePage() const { return nodeAt(0, 2); }
    bool isPage(int node) const;
    bool isItem(int node) const { return node >= 0 && this->node(node).level == 4; }

    // The page of a subgroup node: its definitions, hidden items left out. False when the
    // node is not a page.
    bool loadPage(int node, Page& page);

    // The items whose name or key holds `text` (any case), in tree order, every section but
    // the favourites (which repeat the items of the others).
    std::vector<SearchHit> search(const QString& text) const;

    // F2: an item of another section goes to the favourites; one of the favourites leaves.
    // Returns the node to select afterwards (or -1).
    int toggleFavourite(int item);
    // F4: flips the hidden mark of an item; returns its page node.
    int toggleHidden(int item);
    bool hidden(int section, int slot) const { return m_sections[section].marks[slot] != 0; }
    // Whether favourites or hidden marks changed since the tree was built.
    bool modified() const { return m_modified; }

    // Node slots in use, summed over the sections: the base of a transfer's progress total.
    int slotsInUse() const;

    // The favourites file of the family and "View_FlgArea.fil"; writes never lose the old file.
    bool saveFavourites(std::string* error = nullptr) const;
    bool saveHiddenMarks(std::string* error = nullptr) const;
    void loadHiddenMarks();

private:
    struct SubgroupEntry {
        int slot;
        int items;
    };
    struct Section {
        bool present = false;
        std::array<int, kSlots> nodeOfSlot{};
        std::array<std::int32_t, kSlots> marks{};
        int currentGroup = -1;    // node
        int currentSubgroup = -1; // node
        int groups = 0;
        std::vector<SubgroupEntry> subgroups;
    };
    int addNode(int section, int level, int parent, int number, const std::string& name);
    void buildSection(int section, vok::ListType mainType, const std::string& addList, bool favourites);
    std::string addListOf(int section, int favoriteGroup) const;
    int subgroupIndex(int section, int slot) const;
    void renumber(int subgroupNode);

    vok::DefinitionTables& m_tables;
    const vok::TextTable& m_texts;
    int m_family;
    std::vector<Node> m_nodes;
    std::array<Section, kSections> m_sections{};
    bool m_modified = false;
};

// The header of a main list: comment lines (a field with "//") and the caption line, at most
// three fields; `end` is where the list's rows begin.
struct ListHeader {
    std::string caption; // empty when the caption field is empty
    std::size_t end = 0;
};
ListHeader readListHeader(std::string_view text);

// The section captions of a family's tree, from its main lists ("Common" for an empty one).
std::string sectionCaption(const vok::DefinitionTables& tables, vok::ListType type);

// The favourites groups' text ids (group name, page name) of a family.
std::vector<std::pair<int, int>> favouriteGroupTexts(int family);

} // namespace tree
