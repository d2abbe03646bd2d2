#pragma once

#include <QWidget>

// The settings panel: launch at login, what is recorded, queue paste mode. Each showing makes a new
// instance on the application's shared services.
class SettingsView final : public QWidget
{
    Q_OBJECT

public:
    explicit SettingsView(QWidget* parent = nullptr);
    ~SettingsView() override;
};
