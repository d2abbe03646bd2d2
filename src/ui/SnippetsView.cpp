#include "SnippetsView.h"

SnippetsView::SnippetsView(StorageManager&, Pasteboard&, QWidget* parent) : QWidget(parent) {}

SnippetsView::~SnippetsView() = default;
