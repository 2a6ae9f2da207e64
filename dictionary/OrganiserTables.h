// Record layouts of the organiser tables of the data file: to-do items,
// categories, contacts, e-mail message definitions, saved clipboard entries
// and system-wide hot keys.
//
// One struct per table, named after its label; one member per field, named
// after the field without its prefix. The second colon of the Messages mail
// fields becomes an underscore (M_:Mail:Server -> Mail_Server).
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/data/TableDef.h"
#include "platform/runtime/FixedString.h"

namespace kr {

// Todo (TDO): one to-do item. 10 fields, 152 bytes.
struct Todo {
    uint8_t Done = 0;
    uint8_t Priority = 0;
    FString<20> Category;
    FString<80> ToDo;
    int32_t CompletionDate = 0;
    int32_t CompletionTime = 0;
    FString<30> NetworkUser;
    int32_t LastChangeDate = 0;
    int32_t LastChangeTime = 0;
    int32_t OriginalID = 0;
    // memos
    std::string Notes;
    std::string Resolution;
};

// SyncTodo (STdo): the same layout as Todo.
struct SyncTodo : Todo {};

// Categories (CAT): a task category. 20 bytes.
struct Categories {
    FString<20> Category;
};

// Contact (C_): one contact. 394 bytes, memo Notes.
struct Contact {
    FString<40> User;
    int32_t ClientID = 0;
    FString<30> LastName;
    FString<20> FirstName;
    FString<30> AddressLine1;
    FString<30> AddressLine2;
    FString<30> AddressLine3;
    FString<10> PostalCode;
    FString<20> WorkDayPhone;
    FString<20> HomeEveningPhone;
    FString<20> Fax;
    FString<20> OtherPhone;
    FString<40> Email;
    FString<60> WebSite;
    FString<20> ContactCategory;
    std::string Notes;
};

// ContactCategories (CC): a contact category. 20 bytes.
struct ContactCategories {
    FString<20> ContactCategory;
};

// Messages (M_): a stored e-mail or news message. 2214 bytes, memo Message.
struct Messages {
    int32_t EmailID = 0;
    FString<12> MailType;
    int32_t ContactID = 0;
    FString<255> EmailTo;
    FString<255> EmailToName;
    FString<20> EmailToGroup;
    FString<255> CC;
    FString<255> BCC;
    FString<255> Subject;
    FString<255> Attachment;
    int32_t LastDateSent = 0;
    FString<128> Mail_Server;
    FString<128> Mail_User;
    FString<128> News_Server;
    FString<128> News_User;
    FString<128> News_Password;
    std::string Message;
};

// Clipboard (CLI): one saved clipboard entry. 169 bytes, memo ClipContents.
struct Clipboard {
    FString<20> Abbreviation;
    FString<20> Category;
    int32_t ClipDate = 0;
    int32_t ClipTime = 0;
    FString<120> ClipHashKey;
    uint8_t ClipKeep = 0;
    std::string ClipContents;
};

// ClipboardCategories (CLC): a category of saved clipboard entries. 20 bytes.
struct ClipboardCategories {
    FString<20> Category;
};

// SysHotKeys (HOT): a system-wide hot key. 139 bytes, memo Text.
struct SysHotKeys {
    int32_t ID = 0;
    FString<20> HotKey;
    uint8_t Active = 0;
    FString<40> Description;
    FString<40> QuickText;
    FString<4> Action;
    FString<30> TextType;
    std::string Text;
};

// Mail types of a Messages record; a new record is "Email".
inline constexpr std::array<const char*, 3> kMailTypes = {"Email", "News", "Mass Mailing"};
// Actions of a hot key: type its text or run its task.
inline constexpr const char* kHotKeyActionText = "Text";
inline constexpr const char* kHotKeyActionTask = "Task";
// New-record values of SysHotKeys.
inline constexpr const char* kHotKeyDefaultKey = "CtrlShift";
inline constexpr const char* kHotKeyDefaultTextType = "Type";
// The range of Todo.Priority that the field check accepts.
inline constexpr int kTodoPriorityLow = 1;
inline constexpr int kTodoPriorityHigh = 10;

const data::TableDef& TodoDef();
const data::TableDef& SyncTodoDef();
const data::TableDef& CategoriesDef();
const data::TableDef& ContactDef();
const data::TableDef& ContactCategoriesDef();
const data::TableDef& MessagesDef();
const data::TableDef& ClipboardDef();
const data::TableDef& ClipboardCategoriesDef();
const data::TableDef& SysHotKeysDef();

}  // namespace kr

namespace kr {
// The runtime's services Messages() and Clipboard() share their names with
// these two records; where both are in scope a plain `Messages` names the
// function, so code uses `struct Messages` or these aliases for the records.
using MessagesRecord = struct Messages;
using ClipboardRecord = struct Clipboard;
}  // namespace kr
