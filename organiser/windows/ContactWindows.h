// The address book's windows:
//   BrowseContacts                "Contacts": the contacts by seven orders
//   UpdateContacts                "New Contact" / "Edit Contact": one contact
//   BrowseContactCategories2Pane  "Contact Categories": categories beside their contacts
//   UpdateContactCategories       "New Contact Category" / "Edit Contact Category"
//   SelectContactCategories       "Select a Category": the category picker
// Each works on the current procedure thread's Contact and ContactCategories
// buffers, takes the request from GlobalRequest() and hands the response to
// `done` once it has closed.
#pragma once

#include <functional>

namespace kr::organiser {

inline constexpr const char* kBrowseContactsProcedure = "BrowseContacts";
inline constexpr const char* kBrowseContactCategoriesProcedure = "BrowseContactCategories2Pane";

// The contacts list: on its own window (one at a time), or in select mode
// (GlobalRequest() select) over the calling window; a chosen contact stays in
// the Contact buffer with response completed.
void BrowseContacts(std::function<void(int response)> done = {});
// The form for GlobalRequest(); a delete asks "Confirm Delete" and opens no window.
void UpdateContacts(std::function<void(int response)> done = {});
void BrowseContactCategories2Pane();
void UpdateContactCategories(std::function<void(int response)> done = {});
// Sets the select request itself; a choice is left in the ContactCategories buffer.
void SelectContactCategories(std::function<void(int response)> done = {});

// Registers the contact lists for the frame by their procedure names.
void RegisterContactWindows();

}  // namespace kr::organiser
