#pragma once

// The controller's application messages. Their numbers come from one counter that starts
// at 0x400 when the program starts (kestra::registerMessageId), shared with the windows.
extern const unsigned int UM_TOGGLE_CONTACT_PANE;
extern const unsigned int UM_OPEN_CHAT;
extern const unsigned int UM_CHANGE_MAP_TYPE;
extern const unsigned int UM_CHANGE_MAP_SOURCE;
extern const unsigned int UM_SHOW_CONTACT_ON_MAP;
extern const unsigned int UM_CONNECTION_MESSAGE;
extern const unsigned int UM_APPLY_USER_DATA;
extern const unsigned int UM_RELOGIN;
extern const unsigned int UM_NEW_ACCOUNT;
extern const unsigned int UM_REGISTRATION_REPLY;
extern const unsigned int UM_CHANGE_PASSWORD;
extern const unsigned int UM_AUTHORIZATION_REQUEST;
extern const unsigned int UM_AUTHORIZATION_ANSWER;
extern const unsigned int UM_SHOW_CONTACT_DETAILS;
extern const unsigned int UM_REMOVE_CONTACT;
extern const unsigned int UM_SHOW_SEARCH;
extern const unsigned int UM_SHOW_ABOUT;
extern const unsigned int UM_CHANGE_NICK;
extern const unsigned int UM_CHANGE_STATUS;
extern const unsigned int UM_SET_VISIBILITY;
extern const unsigned int UM_QUIT;
extern const unsigned int UM_CONNECT;
extern const unsigned int UM_SET_MAP_INTERNET_MODE;
extern const unsigned int UM_SHOW_MESSAGE;
extern const unsigned int UM_SET_OWN_POSITION;
extern const unsigned int UM_SHOW_HISTORY;
extern const unsigned int UM_SET_NO_SLEEP;
// Two identifiers that are allocated but carry no action.
extern const unsigned int UM_RESERVED_1;
extern const unsigned int UM_RESERVED_2;

// Ids of the controller's HTTP requests, from the same counter; each comes back in its
// result and says how to handle it.
extern const unsigned int REQUEST_VERSION_INFO;
extern const unsigned int REQUEST_UPDATE_DOWNLOAD;
extern const unsigned int REQUEST_REGISTRATION;

// Work that a session reaction leaves for the controller's thread (a SessionReactions job).
extern const unsigned int UM_SESSION_EVENT;
