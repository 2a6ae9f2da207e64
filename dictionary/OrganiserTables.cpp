#include "dictionary/OrganiserTables.h"

#include <string>

#include "dictionary/SchedulingTables.h"

namespace kr {

using data::TableBuilder;
using data::kAutoNumber;
using data::kCaseSensitive;
using data::kDuplicates;
using data::kExcludeNulls;
using data::kPrimary;
using data::kUnique;

namespace {

#define KR_FIELD(member) template field<decltype(R::member)>(p + ":" #member, &R::member)

// Todo and SyncTodo share fields, keys and memos.
template <class R>
void TodoLayout(TableBuilder<R>& b, const std::string& p) {
    b.KR_FIELD(Done).KR_FIELD(Priority).KR_FIELD(Category).KR_FIELD(ToDo).KR_FIELD(CompletionDate)
        .KR_FIELD(CompletionTime).KR_FIELD(NetworkUser).KR_FIELD(LastChangeDate).KR_FIELD(LastChangeTime)
        .KR_FIELD(OriginalID);
    b.key(p + ":KeyDone", "Done", {p + ":Done", p + ":Priority", p + ":ToDo"}, kDuplicates | kCaseSensitive);
    b.key(p + ":KeyPriority", "Priority", {p + ":Priority", p + ":Done", p + ":ToDo"},
          kDuplicates | kCaseSensitive);
    b.key(p + ":KeyToDo", "To Do", {p + ":ToDo"}, kDuplicates | kCaseSensitive);
    b.key(p + ":KeyCategory", "Category", {p + ":Category", p + ":Priority", p + ":ToDo"}, kDuplicates);
    b.memo(p + ":Notes", &R::Notes, 4096);
    b.memo(p + ":Resolution", &R::Resolution, 1000);
}

data::TableDef BuildTodo() {
    using R = Todo;
    TableBuilder<R> b("Todo", "TDO");
    b.storedAs("KR97\\!ToDo").owner(kOwnerPassword).version(4).errorName("To Do List [Todo]");
    TodoLayout(b, "TDO");
    return b.build();
}

data::TableDef BuildSyncTodo() {
    using R = SyncTodo;
    TableBuilder<R> b("SyncTodo", "STdo");
    b.storedAs(kSyncTodoFileName, 255)
        .owner(kOwnerPassword)
        .version(1)
        .errorName("To Do List Synchonization File [SyncTodo]");
    TodoLayout(b, "STdo");
    return b.build();
}

data::TableDef BuildCategories() {
    using R = Categories;
    const std::string p = "CAT";
    TableBuilder<R> b("Categories", p);
    b.storedAs("KR97\\!Categories").owner(kOwnerPassword).version(4).errorName("Categories [Categories]");
    b.KR_FIELD(Category);
    b.key("CAT:KeyCategory", "Category", {"CAT:Category"}, kPrimary | kUnique);
    return b.build();
}

data::TableDef BuildContact() {
    using R = Contact;
    const std::string p = "C_";
    TableBuilder<R> b("Contact", p);
    b.storedAs("Kr97.TPS\\!Contact").owner(kOwnerPassword).version(2).errorName("Contacts [Contact]");
    b.KR_FIELD(User).KR_FIELD(ClientID).KR_FIELD(LastName).KR_FIELD(FirstName).KR_FIELD(AddressLine1)
        .KR_FIELD(AddressLine2).KR_FIELD(AddressLine3).KR_FIELD(PostalCode).KR_FIELD(WorkDayPhone)
        .KR_FIELD(HomeEveningPhone).KR_FIELD(Fax).KR_FIELD(OtherPhone).KR_FIELD(Email).KR_FIELD(WebSite)
        .KR_FIELD(ContactCategory);
    b.key("C_:KeyClientID", "C_:KeyClientID", {"C_:ClientID"}, kPrimary | kUnique | kAutoNumber);
    b.key("C_:KeyUserClientID", "By ID within User", {"C_:User", "C_:ClientID"});
    b.key("C_:KeyLastName", "Last Name", {"C_:LastName", "C_:FirstName", "C_:PostalCode"});
    b.key("C_:KeyFirstName", "First Name", {"C_:FirstName", "C_:LastName", "C_:PostalCode"});
    b.key("C_:KeyWorkPhone", "Work/Day Phone", {"C_:WorkDayPhone"});
    b.key("C_:KeyHomePhone", "Home/Evening Phone", {"C_:HomeEveningPhone"});
    b.key("C_:KeyFaxNumber", "Fax", {"C_:Fax"});
    b.key("C_:KeyEmail", "Email", {"C_:Email"});
    b.key("C_:KeyCategory", "Category", {"C_:ContactCategory", "C_:LastName", "C_:FirstName"});
    b.memo("C_:Notes", &R::Notes, 1024);
    return b.build();
}

data::TableDef BuildContactCategories() {
    using R = ContactCategories;
    const std::string p = "CC";
    TableBuilder<R> b("ContactCategories", p);
    b.storedAs("kr97\\!ConCat")
        .owner(kOwnerPassword)
        .version(3)
        .errorName("Contact Categories [ContactCategories]");
    b.KR_FIELD(ContactCategory);
    b.key("CC:KeyContactCategories", "Contact Categories", {"CC:ContactCategory"}, kUnique);
    return b.build();
}

data::TableDef BuildMessages() {
    using R = MessagesRecord;
    const std::string p = "M_";
    TableBuilder<R> b("Messages", p);
    b.storedAs("KR97\\!Messages").owner(kOwnerPassword).version(3).errorName("Messages [Messages]");
    b.KR_FIELD(EmailID).KR_FIELD(MailType).KR_FIELD(ContactID).KR_FIELD(EmailTo).KR_FIELD(EmailToName)
        .KR_FIELD(EmailToGroup).KR_FIELD(CC).KR_FIELD(BCC).KR_FIELD(Subject).KR_FIELD(Attachment)
        .KR_FIELD(LastDateSent);
    // These five carry a second colon in their names.
    b.field("M_:Mail:Server", &R::Mail_Server)
        .field("M_:Mail:User", &R::Mail_User)
        .field("M_:News:Server", &R::News_Server)
        .field("M_:News:User", &R::News_User)
        .field("M_:News:Password", &R::News_Password);
    b.key("M_:KeyEmailID", "Email ID", {"M_:EmailID"}, kPrimary | kUnique | kAutoNumber);
    b.key("M_:KeyContact", "Contact", {"M_:ContactID", "M_:EmailID"});
    b.key("M_:KeySubject", "Subject", {"M_:Subject"});
    b.key("M_:KeyLastDateSent", "Last Date Sent", {"M_:LastDateSent"});
    b.memo("M_:Message", &R::Message, 10000);
    return b.build();
}

data::TableDef BuildClipboard() {
    using R = ClipboardRecord;
    const std::string p = "CLI";
    TableBuilder<R> b("Clipboard", p);
    b.storedAs("KR97\\!Clipboard").owner(kOwnerPassword).version(8).errorName("Clipboard Saver [Clipboard]");
    b.KR_FIELD(Abbreviation).KR_FIELD(Category).KR_FIELD(ClipDate).KR_FIELD(ClipTime).KR_FIELD(ClipHashKey)
        .KR_FIELD(ClipKeep);
    b.key("CLI:KeyClipDate", "All by Date", {"-CLI:ClipDate", "-CLI:ClipTime"}, kDuplicates | kCaseSensitive);
    b.key("CLI:KeyClipKeep", "Saved Clipboard Records", {"CLI:ClipKeep", "CLI:ClipDate", "CLI:ClipTime"});
    b.key("CLI:KeyCategory", "Category", {"CLI:Category", "CLI:Abbreviation", "CLI:ClipHashKey"});
    b.key("CLI:KeyAbbreviation", "Abbreviations", {"CLI:Abbreviation", "CLI:Category"});
    b.key("CLI:KeyClipHash", "All by Contents", {"CLI:ClipHashKey"}, kPrimary | kUnique);
    b.memo("CLI:ClipContents", &R::ClipContents, 8192);
    return b.build();
}

data::TableDef BuildClipboardCategories() {
    using R = ClipboardCategories;
    const std::string p = "CLC";
    TableBuilder<R> b("ClipboardCategories", p);
    b.storedAs("KR97\\!ClipboardCategories")
        .owner(kOwnerPassword)
        .version(3)
        .errorName("Clipboard Categories [ClipboardCategories]");
    b.KR_FIELD(Category);
    b.key("CLC:KeyCategory", "Category", {"CLC:Category"}, kPrimary | kUnique);
    return b.build();
}

data::TableDef BuildSysHotKeys() {
    using R = SysHotKeys;
    const std::string p = "HOT";
    TableBuilder<R> b("SysHotKeys", p);
    b.storedAs("KR97\\!Hotkeys").owner(kOwnerPassword).version(2).errorName("Hot Keys [SysHotKeys]");
    b.KR_FIELD(ID).KR_FIELD(HotKey).KR_FIELD(Active).KR_FIELD(Description).KR_FIELD(QuickText)
        .KR_FIELD(Action).KR_FIELD(TextType);
    b.key("HOT:K_HotKey", "Hot Keys", {"HOT:HotKey"}, kPrimary | kUnique);
    // Text hot keys run no task and carry ID 0; the link to a task is unique
    // among the hot keys that have one.
    b.key("HOT:K_ID", "Link to Schedule", {"HOT:ID"}, kUnique | kExcludeNulls);
    b.key("HOT:K_Active", "Active Hot Keys", {"HOT:Active", "HOT:HotKey"});
    b.key("HOT:K_Description", "Description", {"HOT:Description"});
    b.memo("HOT:Text", &R::Text, 10000);
    return b.build();
}

#undef KR_FIELD

}  // namespace

const data::TableDef& TodoDef() { static const data::TableDef d = BuildTodo(); return d; }
const data::TableDef& SyncTodoDef() { static const data::TableDef d = BuildSyncTodo(); return d; }
const data::TableDef& CategoriesDef() { static const data::TableDef d = BuildCategories(); return d; }
const data::TableDef& ContactDef() { static const data::TableDef d = BuildContact(); return d; }
const data::TableDef& ContactCategoriesDef() {
    static const data::TableDef d = BuildContactCategories();
    return d;
}
const data::TableDef& MessagesDef() { static const data::TableDef d = BuildMessages(); return d; }
const data::TableDef& ClipboardDef() { static const data::TableDef d = BuildClipboard(); return d; }
const data::TableDef& ClipboardCategoriesDef() {
    static const data::TableDef d = BuildClipboardCategories();
    return d;
}
const data::TableDef& SysHotKeysDef() { static const data::TableDef d = BuildSysHotKeys(); return d; }

}  // namespace kr
