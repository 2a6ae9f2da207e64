// The column graph, its preferences window and list printing of a list that
// carries Xplore. All run modally over the list's window on its thread and
// report back through `done` once their windows have gone.
//
//   Graph(xplore, listColumn);                 // "Graph on ..." of the header popup
//   Preferences(".\\POSITION.INI", parent);    // the graph's "Pre&ferences"
//   PrintList(xplore, "View");                 // "Print All"; "Page": "Print Page"
#pragma once

#include <QColor>
#include <QFont>
#include <functional>
#include <string>
#include <string_view>

class QWidget;

namespace kr::xplore {

class XploreList;
struct GraphPreferences;

// Counts the categories of the list column (1-based position among the
// shown columns) over the list's order and filter in a progress window, then
// shows the bar graph, or the message that ends it.
void Graph(XploreList& list, int listColumn, std::function<void()> done = {});

// The graph preferences window over the INI file's [XplorePreferences].
void Preferences(const std::string& iniFile, QWidget* parent, std::function<void()> done = {});

// Prints the list's shown columns: "Page" the rows on screen, straight to
// the printer; "View" every row of the list's order and filter, through the
// preview. With outputFile the printing goes to that PDF file.
void PrintList(XploreList& list, std::string_view mode, std::function<void()> done = {},
               std::string outputFile = {});

// The label font of a graph from its preferences, and a 0x00BBGGRR colour.
QFont GraphFont(const GraphPreferences& p);
QColor ColorFromValue(int32_t bgr);

}  // namespace kr::xplore
