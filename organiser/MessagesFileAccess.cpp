#include "organiser/MessagesFileAccess.h"

#include "dictionary/Dictionary.h"
#include "organiser/ContactRules.h"
#include "platform/data/ListQuery.h"
#include "platform/runtime/Strings.h"

namespace kr {

MessagesFileAccess::MessagesFileAccess() : file_(&Messages_File()) {}

bool MessagesFileAccess::Open() { return file_->Open() == data::kLevelBenign; }

void MessagesFileAccess::Close() { file_->Close(); }

MessagesRecord& MessagesFileAccess::Buffer() { return file_->rec(); }

bool MessagesFileAccess::FetchById() { return file_->TryFetch("M_:KeyEmailID") == data::kLevelBenign; }

bool MessagesFileAccess::Update() { return file_->Update() == data::kLevelBenign; }

std::vector<MessagesAccess::Recipient> MessagesFileAccess::ContactsWithAddress(const std::string& category) {
    std::vector<Recipient> out;
    auto& contacts = Contact_File();
    if (contacts.Open() != data::kLevelBenign) return out;
    {
        // A query of its own: the contact buffer and position of the
        // caller's windows are left alone.
        data::ListQuery q(data::TableOf(ContactDef()));
        q.SetKeyOrder(ContactDef().key("C_:KeyCategory"));
        q.AddRange("C_:ContactCategory", [category] { return Value(category); });
        if (q.Apply() == 0) {
            std::vector<data::ListRow> rows;
            constexpr int kPage = 500;
            for (;;) {
                std::vector<data::ListRow> page;
                const data::ListRow* anchor = rows.empty() ? nullptr : &rows.back();
                if (q.Page(anchor, true, kPage, page) != 0 || page.empty()) break;
                for (const data::ListRow& r : page) {
                    Contact c;
                    q.ToRecord(r, &c);
                    std::string address = Trim(c.Email.str());
                    if (!address.empty()) out.push_back({ContactFullName(c), address});
                }
                bool last = page.size() < static_cast<std::size_t>(kPage);
                rows = std::move(page);
                if (last) break;
            }
        }
    }
    contacts.Close();
    return out;
}

}  // namespace kr
