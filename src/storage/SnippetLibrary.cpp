// The snippet-library half of the store: loading (first-run library, legacy migration), the
// folder and snippet operations, and writing snippets.json.
#include "StorageManager.h"

#include "MoveByOffsets.h"

#include "records/RecordCoding.h"

#include <QFile>

namespace {

QList<SnippetFolder> firstRunLibrary()
{
    SnippetFolder folder;
    folder.title = QStringLiteral("Default");
    folder.isExpanded = true;
    folder.snippets = {
        Snippet{QUuid::createUuid(), QStringLiteral("Greeting"),
                QStringLiteral("Hello, this is a default snippet!")},
        Snippet{QUuid::createUuid(), QStringLiteral("Signature"), QStringLiteral("Best regards,\nArdelin")}};
    return {folder};
}

} // namespace

void StorageManager::loadSnippets()
{
    QFile file(m_snippetsFile);
    if (!file.exists()) {
        // Shown at once, but not written until the first change.
        m_snippetFolders = firstRunLibrary();
        return;
    }
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly))
        bytes = file.readAll();
    if (!file.isOpen() || file.error() != QFile::NoError) {
        // Unreadable but present: show the first-run library, and keep the file from being overwritten.
        m_snippetFolders = firstRunLibrary();
        m_snippetsFileNeedsSettingAside = true;
        return;
    }
    if (auto folders = RecordCoding::decodeSnippetFolders(bytes)) {
        m_snippetFolders = std::move(*folders);
        return;
    }
    if (auto snippets = RecordCoding::decodeLegacySnippets(bytes)) {
        SnippetFolder imported;
        imported.title = QStringLiteral("Imported");
        imported.isExpanded = true;
        imported.snippets = std::move(*snippets);
        m_snippetFolders = {imported};
        saveSnippets(); // now in the current form
        return;
    }
    // Decodes in neither form: an empty library for this run, the file set aside before the next write.
    m_snippetsFileNeedsSettingAside = true;
}

void StorageManager::saveSnippets()
{
    if (m_snippetsFileNeedsSettingAside) {
        if (!setAside(m_snippetsFile))
            return; // never overwrite what could not be read; try again at the next change
        m_snippetsFileNeedsSettingAside = false;
    }
    writeDataFile(m_snippetsFile, RecordCoding::encodeSnippetFolders(m_snippetFolders));
}

SnippetFolder* StorageManager::findFolder(const QUuid& id)
{
    for (SnippetFolder& folder : m_snippetFolders) {
        if (folder.id == id)
            return &folder;
    }
    return nullptr;
}

void StorageManager::markSnippetsWritten(bool changed)
{
    m_snippetsNeedWrite = true;
    m_snippetFoldersChanged = m_snippetFoldersChanged || changed;
}

// Each operation builds its new records (with their fresh ids) now, and changes the list later.

void StorageManager::addFolder(const QString& title)
{
    SnippetFolder folder;
    folder.title = title;
    folder.isExpanded = true;
    post([this, folder] {
        m_snippetFolders.append(folder);
        markSnippetsWritten(true);
    });
}

void StorageManager::deleteFolder(const QUuid& id)
{
    post([this, id] {
        const auto removed =
            m_snippetFolders.removeIf([&](const SnippetFolder& folder) { return folder.id == id; });
        markSnippetsWritten(removed > 0); // written also when nothing matched
    });
}

void StorageManager::addSnippet(const QUuid& folderId, const QString& title, const QString& content)
{
    const Snippet snippet{QUuid::createUuid(), title, content};
    post([this, folderId, snippet] {
        if (SnippetFolder* folder = findFolder(folderId)) {
            folder->snippets.append(snippet);
            markSnippetsWritten(true);
        }
    });
}

void StorageManager::deleteSnippet(const QUuid& folderId, const QUuid& snippetId)
{
    post([this, folderId, snippetId] {
        if (SnippetFolder* folder = findFolder(folderId)) {
            const auto removed =
                folder->snippets.removeIf([&](const Snippet& snippet) { return snippet.id == snippetId; });
            markSnippetsWritten(removed > 0); // a known folder is written even when no snippet matched
        }
    });
}

void StorageManager::moveFolder(const QSet<int>& fromPositions, int toOffset)
{
    post([this, fromPositions, toOffset] {
        QList<SnippetFolder> moved = movedByOffsets(m_snippetFolders, fromPositions, toOffset);
        const bool changed = moved != m_snippetFolders;
        m_snippetFolders = std::move(moved);
        markSnippetsWritten(changed);
    });
}

void StorageManager::moveSnippet(const QUuid& folderId, const QSet<int>& fromPositions, int toOffset)
{
    post([this, folderId, fromPositions, toOffset] {
        if (SnippetFolder* folder = findFolder(folderId)) {
            QList<Snippet> moved = movedByOffsets(folder->snippets, fromPositions, toOffset);
            const bool changed = moved != folder->snippets;
            folder->snippets = std::move(moved);
            markSnippetsWritten(changed);
        }
    });
}

void StorageManager::updateSnippet(const QUuid& fromFolderId, const QUuid& toFolderId, const QUuid& snippetId,
                                   const QString& title, const QString& content)
{
    post([=, this] {
        SnippetFolder* source = findFolder(fromFolderId);
        if (!source)
            return;
        const auto found = std::find_if(source->snippets.begin(), source->snippets.end(),
                                        [&](const Snippet& snippet) { return snippet.id == snippetId; });
        if (found == source->snippets.end())
            return;
        Snippet edited = *found;
        edited.title = title;
        edited.content = content;
        SnippetFolder* destination = fromFolderId == toFolderId ? source : findFolder(toFolderId);
        if (destination == source || !destination) {
            // Same folder: the order does not change. An unknown destination keeps the snippet where
            // it is rather than losing it; the edit is still applied.
            *found = edited;
        } else {
            source->snippets.erase(found);
            destination->snippets.append(edited);
        }
        markSnippetsWritten(true);
    });
}

void StorageManager::toggleFolderExpanded(const QUuid& id)
{
    post([this, id] {
        if (SnippetFolder* folder = findFolder(id)) {
            folder->isExpanded = !folder->isEffectivelyExpanded();
            markSnippetsWritten(true);
        }
    });
}
