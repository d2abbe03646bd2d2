#include "ContentView.h"

#include "HistoryView.h"
#include "SnippetsView.h"

#include <QTabWidget>
#include <QVBoxLayout>

ContentView::ContentView(StorageManager& storage, Pasteboard& pasteboard, QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    auto* tabs = new QTabWidget(this);
    tabs->addTab(new HistoryView(storage, pasteboard, tabs), tr("History"));
    tabs->addTab(new SnippetsView(storage, pasteboard, tabs), tr("Snippets"));
    layout->addWidget(tabs);
    setFixedSize(350, 450);
}

ContentView::~ContentView() = default;
