// The header popup of a list that carries Xplore, display-free: which items
// exist (decided once from the owner's option mask), their texts, checks and
// enabled states for the column under the mouse, and the events the items
// post to the list.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kr::xplore {

class Xplore;

// The events the header popup's items post (the list takes them in
// XploreList::TakePopupCommand).
enum : int {
    kEventMoveLeft = 1034,
    kEventMoveRight = 1035,
    kEventResetDefault = 1036,
    kEventHeaderLeft = 1037,
    kEventHeaderRight = 1038,
    kEventHeaderCenter = 1039,
    kEventHeaderDecimal = 1040,
    kEventDataLeft = 1041,
    kEventDataRight = 1042,
    kEventDataCenter = 1043,
    kEventDataDecimal = 1044,
    kEventListProperties = 1045,
    kEventWidth = 1046,
    kEventHeaderOffset = 1047,
    kEventDataOffset = 1048,
    kEventHeaderText = 1050,
    kEventFixed = 1051,
    kEventUnderline = 1052,
    kEventBorder = 1053,
    kEventResize = 1054,
    kEventListX = 1055,
    kEventListY = 1056,
    kEventListWidth = 1057,
    kEventListHeight = 1058,
    kEventFont = 1059,
    kEventLineHeight = 1060,
    kEventHScroll = 1061,
    kEventVScroll = 1062,
    kEventColors = 1063,
    kEventHideColumn = 1065,
    kEventBestFit = 1067,
    kEventSort = 1068,
    kEventPrintPage = 1069,
    kEventPrintAll = 1070,
    kEventGraph = 1071,
    kEventExportCsv = 1072,
    kEventExportHtml = 1073,
    kEventFilterEqual = 1074,
    kEventFilterLess = 1075,
    kEventFilterGreater = 1076,
    kEventFilterNotEqual = 1077,
    kEventCancelFilter = 1078,
    kEventInclusive = 1079,
};

// Every option bit: what a list window passes, less the list position and
// size items, which would do nothing while the saved position is not used.
inline constexpr uint32_t kOwnerOptions = 0x1FFFFFFFu & ~0x1E00000u;

struct MenuItem {
    std::string name;     // "PVW", "ADDF1", ...; the submenus "Output", "List", ...
    std::string text;     // as shown ("&" marks)
    int event = 0;        // what choosing it posts; 0 for a separator or submenu
    bool separator = false;
    bool checkable = false, checked = false, enabled = true;
    std::vector<MenuItem> children;
};

// The items the option mask gives: "&Output", "&List", "&Filter", then
// "&Xplore" and "&ListBox" as far as the mask has items for them. With
// `afterOwnItems` a separator ("S11") comes first.
std::vector<MenuItem> BuildHeaderMenu(uint32_t options, const Xplore& x, bool afterOwnItems);

// Sets texts, checks and enabled states for the list column under the
// mouse (1-based; 0 none) and the highlighted row's formatted value there.
void PrepareHeaderMenu(std::vector<MenuItem>& items, const Xplore& x, int listColumn, std::string_view value);

// Finds an item by name anywhere in the menu; nullptr when absent.
MenuItem* FindMenuItem(std::vector<MenuItem>& items, std::string_view name);
const MenuItem* FindMenuItem(const std::vector<MenuItem>& items, std::string_view name);

}  // namespace kr::xplore
