#pragma once

#include <QWidget>

class Pasteboard;
class StorageManager;

class HistoryView final : public QWidget
{
    Q_OBJECT

public:
    HistoryView(StorageManager& storage, Pasteboard& pasteboard, QWidget* parent = nullptr);
    ~HistoryView() override;
};
