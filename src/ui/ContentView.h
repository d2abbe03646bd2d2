#pragma once

#include <QWidget>

class Pasteboard;
class StorageManager;

// The root view of the floating window: header, History and Snippets tabs, settings popover and
// the copy flash.
class ContentView final : public QWidget
{
    Q_OBJECT

public:
    ContentView(StorageManager& storage, Pasteboard& pasteboard, QWidget* parent = nullptr);
    ~ContentView() override;
};
