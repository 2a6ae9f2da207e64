#include "organiser/ContactRules.h"

#include "platform/runtime/Strings.h"

namespace kr {

std::string ContactClipboardText(const Contact& c) {
    const std::string lines[13] = {
        c.LastName.str(),
        c.FirstName.str(),
        c.AddressLine1.str(),
        c.AddressLine2.str(),
        c.AddressLine3.str(),
        c.PostalCode.str(),
        "Work Phone: " + ClipRight(c.WorkDayPhone.str()),
        "Home Phone: " + ClipRight(c.HomeEveningPhone.str()),
        "Fax: " + ClipRight(c.Fax.str()),
        "Other Phone: " + ClipRight(c.OtherPhone.str()),
        "Email: " + ClipRight(c.Email.str()),
        "Web Site: " + ClipRight(c.WebSite.str()),
        "Category: " + ClipRight(c.ContactCategory.str()),
    };
    std::string out;
    for (const std::string& l : lines) out += ClipRight(l) + "\r\n";
    return out;
}

std::string ContactFullName(const Contact& c) {
    return ClipLeft(ClipRight(c.FirstName.str()) + " " + ClipRight(c.LastName.str()));
}

void FillMessageFromContact(MessagesRecord& m, const Contact& c) {
    m.ContactID = c.ClientID;
    m.EmailTo = ClipRight(c.Email.str());
    m.EmailToName = ContactFullName(c);
}

MailKind MailKindOf(const std::string& mailType) {
    const std::string t = ClipRight(mailType);
    if (t == kMailTypes[1]) return MailKind::News;
    if (t == kMailTypes[2]) return MailKind::MassMailing;
    return MailKind::Email;
}

bool CategoryFillsRecipient(MessagesRecord& m) {
    if (ClipRight(m.EmailToGroup.str()).empty() || !ClipRight(m.EmailTo.str()).empty()) return false;
    m.EmailTo = kNoRecipient;
    return true;
}

bool AttachmentFillsSubject(MessagesRecord& m) {
    if (ClipRight(m.Attachment.str()).empty() || !ClipRight(m.Subject.str()).empty()) return false;
    m.Subject = m.Attachment.str();
    return true;
}

LastRecipient LastRecipientOf(const MessagesRecord& m) {
    switch (MailKindOf(m.MailType.str())) {
        case MailKind::News:
            if (ClipRight(m.EmailTo.str()).empty()) return {};
            return {kLastNewsgroupSetting, ClipRight(m.EmailTo.str())};
        case MailKind::MassMailing:
            if (ClipRight(m.EmailToGroup.str()).empty()) return {};
            return {kLastMassMailingSetting, ClipRight(m.EmailToGroup.str())};
        case MailKind::Email:
            break;
    }
    if (ClipRight(m.EmailTo.str()).empty()) return {};
    return {kLastEmailSetting, ClipRight(m.EmailTo.str())};
}

}  // namespace kr
