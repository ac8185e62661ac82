#pragma once

namespace tamsel {

// The report protocol from a media fetcher to the view.

inline constexpr int WM_USER = 0x0400;
inline constexpr int WM_FETCH_PROGRESS = WM_USER + 1001;

enum FetchCode {
    FETCH_BAD_URL = -200,
    FETCH_FILE_ERROR = -201,
    FETCH_SESSION_ERROR = -202,
    FETCH_CONNECT_ERROR = -203,
    FETCH_REQUEST_ERROR = -204,
    FETCH_SEND_ERROR = -205,
    FETCH_STATUS_ERROR = -206,
    FETCH_BAD_STATUS = -207,
    FETCH_TRANSFER_ERROR = -208,
    FETCH_STOPPED = 209,
    FETCH_LENGTH = 210,
    FETCH_DATA = 211,
    FETCH_DONE = 212,
};

inline constexpr bool IsTerminalFetchCode(int code) {
    return (code >= FETCH_TRANSFER_ERROR && code <= FETCH_BAD_URL) || code == FETCH_STOPPED ||
           code == FETCH_DONE;
}

}  // namespace tamsel
