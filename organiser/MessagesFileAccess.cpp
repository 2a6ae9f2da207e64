#include "organiser/MessagesFileAccess.h"

#include "dictionary/Dictionary.h"

namespace kr {

MessagesFileAccess::MessagesFileAccess() : file_(&Messages_File()) {}

bool MessagesFileAccess::Open() { return file_->Open() == data::kLevelBenign; }

void MessagesFileAccess::Close() { file_->Close(); }

MessagesRecord& MessagesFileAccess::Buffer() { return file_->rec(); }

bool MessagesFileAccess::FetchById() { return file_->TryFetch("M_:KeyEmailID") == data::kLevelBenign; }

bool MessagesFileAccess::Update() { return file_->Update() == data::kLevelBenign; }

}  // namespace kr
