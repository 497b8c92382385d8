// Holds the socket library for one sweep. POSIX sockets need no start-up or
// clean-up, so this keeps only the shape of the pair; the start-up failure
// line "WSAStartup, error code = %1" therefore never appears.
#pragma once

class CWinsockInit {
public:
  CWinsockInit() {}
  ~CWinsockInit() {}
  CWinsockInit(const CWinsockInit&) = delete;
  CWinsockInit& operator=(const CWinsockInit&) = delete;
};
