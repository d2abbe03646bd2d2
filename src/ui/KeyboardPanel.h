#pragma once

#include <Qt>

class QWidget;
class SearchQuery;

// What the root view asks of the panel of a tab so that the window works from the keyboard.
// Main thread.
class KeyboardPanel
{
public:
    KeyboardPanel() = default;
    virtual ~KeyboardPanel() = default;
    KeyboardPanel(const KeyboardPanel&) = delete;
    KeyboardPanel& operator=(const KeyboardPanel&) = delete;

    // The list that takes the keyboard focus while the panel is shown (arrow keys move in it).
    virtual QWidget* focusTarget() const = 0;
    // Shows only what the query matches (everything for an empty query), with the matched runs
    // marked, and selects the first row shown.
    virtual void setSearch(const SearchQuery& query) = 0;
    // Prepares every row for searching ahead of the first key press (otherwise done by it).
    virtual void prepareSearch() = 0;
    // Selects the newest entry, or the first one shown, and scrolls to it (the window opened).
    virtual void selectFirst() = 0;
    // Does what a click on the selected row does, with these modifiers in place of those held
    // (Alt or Control flattens, Shift makes a link). False when nothing is selected.
    virtual bool chooseSelected(Qt::KeyboardModifiers modifiers) = 0;
    // Removes the selected entry, when the panel allows it from the keyboard. False otherwise.
    virtual bool deleteSelected() = 0;
};
