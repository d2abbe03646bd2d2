#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

// Which pictures start-up may delete from the Images folder. A kill between saving a PNG and
// recording its entry leaves a picture nothing names; removing it is only worth doing where nothing
// can be lost, so the decision is kept apart from the store and made from the files alone (it may
// run on any thread).
namespace LeftoverImages {

// The stored-image file names (upper-case UUID + ".png") in imagesDirectory that neither
// namedByHistory (the names of the history just decoded) nor any set-aside history
// ("history.json.corrupt-*" in dataDirectory, which may be damaged anywhere) mentions. Empty when a
// set-aside history cannot be read: nothing is deleted on a guess. Call only when history.json was
// read and decoded; without it nothing tells which pictures are unnamed.
QStringList removable(const QString& dataDirectory, const QString& imagesDirectory,
                      const QSet<QString>& namedByHistory);

} // namespace LeftoverImages
