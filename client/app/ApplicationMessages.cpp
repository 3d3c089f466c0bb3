#include "client/app/ApplicationMessages.h"

#include "kestra/MessageQueue.h"

// Defined in one file, in this order, so the numbers are allocated in a fixed order.
const unsigned int UM_TOGGLE_CONTACT_PANE = kestra::registerMessageId();
const unsigned int UM_OPEN_CHAT = kestra::registerMessageId();
const unsigned int UM_CHANGE_MAP_TYPE = kestra::registerMessageId();
const unsigned int UM_CHANGE_MAP_SOURCE = kestra::registerMessageId();
const unsigned int UM_SHOW_CONTACT_ON_MAP = kestra::registerMessageId();
const unsigned int UM_CONNECTION_MESSAGE = kestra::registerMessageId();
const unsigned int UM_APPLY_USER_DATA = kestra::registerMessageId();
const unsigned int UM_RELOGIN = kestra::registerMessageId();
const unsigned int UM_NEW_ACCOUNT = kestra::registerMessageId();
const unsigned int UM_REGISTRATION_REPLY = kestra::registerMessageId();
const unsigned int UM_CHANGE_PASSWORD = kestra::registerMessageId();
const unsigned int UM_AUTHORIZATION_REQUEST = kestra::registerMessageId();
const unsigned int UM_AUTHORIZATION_ANSWER = kestra::registerMessageId();
const unsigned int UM_SHOW_CONTACT_DETAILS = kestra::registerMessageId();
const unsigned int UM_REMOVE_CONTACT = kestra::registerMessageId();
const unsigned int UM_SHOW_SEARCH = kestra::registerMessageId();
const unsigned int UM_SHOW_ABOUT = kestra::registerMessageId();
const unsigned int UM_CHANGE_NICK = kestra::registerMessageId();
const unsigned int UM_CHANGE_STATUS = kestra::registerMessageId();
const unsigned int UM_SET_VISIBILITY = kestra::registerMessageId();
const unsigned int UM_QUIT = kestra::registerMessageId();
const unsigned int UM_CONNECT = kestra::registerMessageId();
const unsigned int UM_SET_MAP_INTERNET_MODE = kestra::registerMessageId();
const unsigned int UM_SHOW_MESSAGE = kestra::registerMessageId();
const unsigned int UM_SET_OWN_POSITION = kestra::registerMessageId();
const unsigned int UM_SHOW_HISTORY = kestra::registerMessageId();
const unsigned int UM_SET_NO_SLEEP = kestra::registerMessageId();
const unsigned int UM_RESERVED_1 = kestra::registerMessageId();
const unsigned int UM_RESERVED_2 = kestra::registerMessageId();
const unsigned int REQUEST_VERSION_INFO = kestra::registerMessageId();
const unsigned int REQUEST_UPDATE_DOWNLOAD = kestra::registerMessageId();
const unsigned int REQUEST_REGISTRATION = kestra::registerMessageId();
const unsigned int UM_SESSION_EVENT = kestra::registerMessageId();
