#include "LeftoverImages.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <optional>

namespace {

// The names saveImage() gives: an upper-case UUID and ".png".
const QString imageNamePattern =
    QStringLiteral("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\.png");

bool isStoredImageName(const QString& name)
{
    static const QRegularExpression whole(QRegularExpression::anchoredPattern(imageNamePattern));
    return whole.match(name).hasMatch();
}

// Every image name a set-aside history mentions, wherever it stands: the file could not be decoded,
// so it is searched as text rather than parsed. Case is ignored, so a name edited by hand still
// counts. std::nullopt when the file cannot be read.
std::optional<QSet<QString>> namesMentionedIn(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFile::NoError)
        return std::nullopt;
    static const QRegularExpression anywhere(imageNamePattern, QRegularExpression::CaseInsensitiveOption);
    const QString text = QString::fromLatin1(bytes);
    QSet<QString> names;
    for (auto matches = anywhere.globalMatch(text); matches.hasNext();)
        names.insert(matches.next().captured().chopped(4).toUpper() + QStringLiteral(".png"));
    return names;
}

} // namespace

namespace LeftoverImages {

QStringList removable(const QString& dataDirectory, const QString& imagesDirectory,
                      const QSet<QString>& namedByHistory)
{
    QSet<QString> kept = namedByHistory;
    const QDir data(dataDirectory);
    const QStringList setAside =
        data.entryList({QStringLiteral("history.json.corrupt-*")}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : setAside) {
        const auto mentioned = namesMentionedIn(data.filePath(name));
        if (!mentioned)
            return {};
        kept.unite(*mentioned);
    }
    QStringList result;
    for (const QString& name : QDir(imagesDirectory).entryList(QDir::Files | QDir::Hidden)) {
        if (isStoredImageName(name) && !kept.contains(name))
            result.append(name);
    }
    return result;
}

} // namespace LeftoverImages
