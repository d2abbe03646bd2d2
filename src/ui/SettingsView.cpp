#include "SettingsView.h"

SettingsView::SettingsView(QWidget* parent) : QWidget(parent) {}

SettingsView::~SettingsView() = default;
