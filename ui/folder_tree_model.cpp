// SPDX-License-Identifier: GPL-3.0-or-later
#include "folder_tree_model.h"

#include "cleaner/file_system.h"
#include "cleaner/path.h"
#include "cleaner/visible_name.h"
#include "disk_path.h"

#include <QCollator>
#include <QDir>

#include <algorithm>

struct FolderTreeModel::Node {
    Node* parent = nullptr;
    int row = 0;
    std::string name; // bytes; the root holds its whole path
    QString shownName;
    bool read = false;
    bool readPending = false; // fetchMore() asked, the event loop will read it
    std::vector<std::unique_ptr<Node>> subFolders;
};

FolderTreeModel::FolderTreeModel(cleaner::FileSystem& fileSystem, QObject* parent)
    : QAbstractItemModel(parent), m_fs(fileSystem), m_top(std::make_unique<Node>()),
      m_folderIcon(QIcon::fromTheme(QStringLiteral("folder"))) {
    m_top->read = true;
}

FolderTreeModel::~FolderTreeModel() = default;

void FolderTreeModel::setRootPath(const QString& path) {
    beginResetModel();
    auto root = std::make_unique<Node>();
    root->parent = m_top.get();
    root->name = pathToDisk(QDir::cleanPath(path));
    root->shownName = pathFromDisk(root->name);
    m_top->subFolders.clear();
    m_top->subFolders.push_back(std::move(root));
    endResetModel();
}

QString FolderTreeModel::rootPath() const {
    return m_top->subFolders.empty() ? QString() : m_top->subFolders.front()->shownName;
}

QModelIndex FolderTreeModel::rootIndex() const {
    return m_top->subFolders.empty() ? QModelIndex() : createIndex(0, 0, m_top->subFolders.front().get());
}

QModelIndex FolderTreeModel::indexOf(const QString& path) {
    if (m_top->subFolders.empty())
        return {};
    Node* node = m_top->subFolders.front().get();
    const std::string wanted = pathToDisk(QDir::cleanPath(path));
    const std::string& root = node->name;
    const bool beneath = wanted.starts_with(root) &&
                         (wanted.size() == root.size() || root.ends_with('/') || wanted[root.size()] == '/');
    if (!beneath)
        return {};
    std::string_view rest = std::string_view(wanted).substr(node->name.size());
    while (!rest.empty()) {
        while (!rest.empty() && rest.front() == '/')
            rest.remove_prefix(1);
        if (rest.empty())
            break;
        const std::string_view name = rest.substr(0, rest.find('/'));
        rest.remove_prefix(name.size());
        if (!node->read)
            readSubFolders(*node, indexOfNode(node));
        const auto found = std::find_if(node->subFolders.begin(), node->subFolders.end(),
                                        [name](const auto& sub) { return sub->name == name; });
        if (found == node->subFolders.end())
            return {};
        node = found->get();
    }
    return indexOfNode(node);
}

QString FolderTreeModel::pathOf(const QModelIndex& index) const {
    const Node* node = nodeOf(index);
    return node == m_top.get() ? QString() : pathFromDisk(diskPathOf(*node));
}

std::string FolderTreeModel::diskPathOf(const Node& node) const {
    std::vector<const Node*> way;
    for (const Node* at = &node; at != m_top.get(); at = at->parent)
        way.push_back(at);
    std::string path = way.back()->name;
    for (auto it = std::next(way.rbegin()); it != way.rend(); ++it)
        cleaner::appendName(path, (*it)->name);
    return path;
}

FolderTreeModel::Node* FolderTreeModel::nodeOf(const QModelIndex& index) const {
    return index.isValid() ? static_cast<Node*>(index.internalPointer()) : m_top.get();
}

QModelIndex FolderTreeModel::indexOfNode(const Node* node) const {
    return node == m_top.get() ? QModelIndex() : createIndex(node->row, 0, const_cast<Node*>(node));
}

QModelIndex FolderTreeModel::index(int row, int column, const QModelIndex& parent) const {
    const Node* node = nodeOf(parent);
    if (column != 0 || row < 0 || row >= static_cast<int>(node->subFolders.size()))
        return {};
    return createIndex(row, 0, node->subFolders[static_cast<std::size_t>(row)].get());
}

QModelIndex FolderTreeModel::parent(const QModelIndex& index) const {
    const Node* node = nodeOf(index);
    return node == m_top.get() ? QModelIndex() : indexOfNode(node->parent);
}

int FolderTreeModel::rowCount(const QModelIndex& parent) const {
    if (parent.column() > 0)
        return 0;
    return static_cast<int>(nodeOf(parent)->subFolders.size());
}

int FolderTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

QVariant FolderTreeModel::data(const QModelIndex& index, int role) const {
    const Node* node = nodeOf(index);
    if (node == m_top.get())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return node->shownName;
    case Qt::AccessibleTextRole:
        // What the tree draws (see VisibleNameDelegate), so that a screen
        // reader tells apart names that differ in bytes it can't say.
        return QString::fromStdString(cleaner::visibleName(node->name));
    case Qt::DecorationRole:
        return m_folderIcon;
    default:
        return {};
    }
}

QVariant FolderTreeModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (section == 0 && orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return QStringLiteral("Folders");
    return {};
}

Qt::ItemFlags FolderTreeModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

// Until a folder is read, it may hold folders: it shows as one that can be opened.
bool FolderTreeModel::hasChildren(const QModelIndex& parent) const {
    const Node* node = nodeOf(parent);
    return !node->read || !node->subFolders.empty();
}

bool FolderTreeModel::canFetchMore(const QModelIndex& parent) const {
    const Node* node = nodeOf(parent);
    return !node->read && !node->readPending;
}

// A view asks for more in the middle of laying itself out, and a change
// signalled then meets the view half built: it would look up rows it has
// not placed yet, some of them left from before the last reset. So the
// folder is read once the view is done, from the event loop; a reset in
// between invalidates the persistent index, and nothing is read.
void FolderTreeModel::fetchMore(const QModelIndex& parent) {
    Node* node = nodeOf(parent);
    if (node->read || node->readPending)
        return;
    node->readPending = true;
    QMetaObject::invokeMethod(
        this,
        [this, folder = QPersistentModelIndex(parent)] {
            if (!folder.isValid())
                return;
            Node* pending = nodeOf(folder);
            if (!pending->read)
                readSubFolders(*pending, folder);
        },
        Qt::QueuedConnection);
}

// A folder that can't be read shows as holding none.
void FolderTreeModel::readSubFolders(Node& node, const QModelIndex& index) {
    node.read = true;
    std::error_code ec;
    std::vector<std::string> names = m_fs.folderNamesIn(diskPathOf(node), ec);
    if (names.empty()) {
        // No longer one that can be opened: a view keeps what it knew of a
        // row's children until its layout changes, so the arrow goes only so.
        const QList<QPersistentModelIndex> parents{QPersistentModelIndex(index.parent())};
        emit layoutAboutToBeChanged(parents);
        emit layoutChanged(parents);
        emit dataChanged(index, index);
        return;
    }
    std::vector<std::unique_ptr<Node>> subFolders;
    subFolders.reserve(names.size());
    for (std::string& name : names) {
        auto sub = std::make_unique<Node>();
        sub->parent = &node;
        sub->shownName = pathFromDisk(name);
        sub->name = std::move(name);
        subFolders.push_back(std::move(sub));
    }
    // As a file manager orders names: by letter whatever the case and, where
    // the locale has it, numbers by their value.
    QCollator collator;
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(subFolders.begin(), subFolders.end(), [&collator](const auto& a, const auto& b) {
        const int order = collator.compare(a->shownName, b->shownName);
        return order != 0 ? order < 0 : a->name < b->name;
    });
    for (std::size_t row = 0; row < subFolders.size(); ++row)
        subFolders[row]->row = static_cast<int>(row);
    beginInsertRows(index, 0, static_cast<int>(subFolders.size()) - 1);
    node.subFolders = std::move(subFolders);
    endInsertRows();
}
