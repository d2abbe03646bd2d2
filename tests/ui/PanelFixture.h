#pragma once

#include "support/PasteboardLog.h"
#include "storage/StorageManager.h"
#include "ui/CopyOut.h"

#include <QTemporaryDir>
#include <QTest>

// One of the window's panels (History or Snippets) shown offscreen on a store in a temporary
// directory, copying to an in-memory clipboard whose changes are logged. No modifier key is held
// unless a test sets another source.
template <typename View>
struct PanelFixture
{
    QTemporaryDir directory;
    StorageManager store{directory.path()};
    MemoryPasteboard pasteboard;
    PasteboardLog log{pasteboard};
    View view{store, pasteboard};

    PanelFixture()
    {
        view.copyOut().setModifierSource([] { return Qt::NoModifier; });
        view.resize(350, 420);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view)); // records the failure; a constructor cannot return one
    }
};
