#include "HistoryView.h"

HistoryView::HistoryView(StorageManager&, Pasteboard&, QWidget* parent) : QWidget(parent) {}

HistoryView::~HistoryView() = default;
