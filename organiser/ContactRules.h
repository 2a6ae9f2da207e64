// What the contact and e-mail message windows decide without a display: the
// contact as clipboard text, the name a message takes from a contact, and
// the recipient rules of the message form.
#pragma once

#include <string>

#include "dictionary/OrganiserTables.h"

namespace kr {

// The contact as 13 lines, each ending with CR LF: last name, first name,
// the three address lines, postal code, then "Work Phone: ", "Home Phone: ",
// "Fax: ", "Other Phone: ", "Email: ", "Web Site: " and "Category: " with
// their values. Every line is clipped of trailing blanks, so an empty phone
// gives "Work Phone:" and an empty address line an empty line.
std::string ContactClipboardText(const Contact& c);

// First name, a blank and last name (each clipped), leading blanks removed.
std::string ContactFullName(const Contact& c);

// The contact fills the message's recipient: its number, address and name.
void FillMessageFromContact(MessagesRecord& m, const Contact& c);

// The three mail types and their layouts.
enum class MailKind { Email, News, MassMailing };
MailKind MailKindOf(const std::string& mailType);

// Settings that remember the last recipient of each mail type.
inline constexpr const char* kLastEmailSetting = "LastEmail";
inline constexpr const char* kLastNewsgroupSetting = "LastNewsgroup";
inline constexpr const char* kLastMassMailingSetting = "LastMassMailing";
inline constexpr const char* kNoRecipient = "N/A";

// When the form opens and when its type changes (never on OK): an empty
// newsgroup takes LastNewsgroup, an empty category of a mass mailing
// LastMassMailing, and an empty To of an e-mail LastEmail, but only while the
// message has no contact: a contact without an address keeps its To empty
// rather than show another person's address under its name. `setting` reads
// a stored setting. True when it filled an e-mail's To.
template <class GetSetting>
bool FillEmptyRecipient(MessagesRecord& m, GetSetting setting) {
    switch (MailKindOf(m.MailType.str())) {
        case MailKind::News:
            if (m.EmailTo.empty()) m.EmailTo = setting(kLastNewsgroupSetting);
            return false;
        case MailKind::MassMailing:
            if (m.EmailToGroup.empty()) m.EmailToGroup = setting(kLastMassMailingSetting);
            return false;
        case MailKind::Email:
            if (!m.EmailTo.empty() || m.ContactID != 0) return false;
            m.EmailTo = setting(kLastEmailSetting);
            return !m.EmailTo.empty();
    }
    return false;
}

// A category set over an empty To makes the To "N/A" (a mass mailing has no
// single recipient). True when it changed the To.
bool CategoryFillsRecipient(MessagesRecord& m);
// An attachment set over an empty subject becomes the subject. True when it
// changed the subject.
bool AttachmentFillsSubject(MessagesRecord& m);

// The setting that keeps the last recipient of the message's type and the
// value to store, or an empty name when there is nothing to store.
struct LastRecipient {
    std::string setting;
    std::string value;
};
LastRecipient LastRecipientOf(const MessagesRecord& m);

}  // namespace kr
