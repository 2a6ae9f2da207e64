// The stored e-mail messages' windows:
//   BrowseMessages  "E-mail Messages": the messages by four orders, sent from
//                   the list through the script queue
//   UpdateMessages  "New E-mail Message" / "Edit E-mail Message": one message
// Both work on the current procedure thread's Messages buffer.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace kr::organiser {

inline constexpr const char* kBrowseMessagesProcedure = "BrowseMessages";

// The list, behind the system password: on its own window (one at a time),
// or in select mode (GlobalRequest() select) over the calling window, where
// "&Select" leaves the chosen message in the Messages buffer with response
// completed.
void BrowseMessages(std::function<void(int response)> done = {});
// The form for GlobalRequest(); a contact number other than 0 makes the
// message one to that contact.
void UpdateMessages(int32_t contactId, std::function<void(int response)> done = {});

// Registers the list for the frame and installs the script item form's
// message chooser and new-message form.
void RegisterMessageWindows();

}  // namespace kr::organiser
