// The Messages table of the data file as the sending of stored messages
// uses it, through the dictionary's Messages file manager.
#pragma once

#include "organiser/SendEmailMessage.h"

namespace kr {

class MessagesFileManager;

class MessagesFileAccess : public MessagesAccess {
public:
    // The program's Messages file manager unless another is given.
    MessagesFileAccess();
    explicit MessagesFileAccess(MessagesFileManager& file) : file_(&file) {}

    bool Open() override;
    void Close() override;
    MessagesRecord& Buffer() override;
    // A row that is not there is no message; other errors are reported by
    // the file manager as it reports them everywhere.
    bool FetchById() override;
    bool Update() override;
    // Through the program's Contact file manager, a page at a time.
    std::vector<Recipient> ContactsWithAddress(const std::string& category) override;

private:
    MessagesFileManager* file_;
};

}  // namespace kr
