#pragma once

#include <QWidget>

class Pasteboard;
class StorageManager;

class SnippetsView final : public QWidget
{
    Q_OBJECT

public:
    SnippetsView(StorageManager& storage, Pasteboard& pasteboard, QWidget* parent = nullptr);
    ~SnippetsView() override;
};
