// The error a reader, writer or command hands back through an out-parameter: a domain, a
// status code and a failure reason worded for the user ("I don't recognize the file type.").
#pragma once

#include <QString>

inline constexpr const char* kFLOSStatusErrorDomain = "NSOSStatusErrorDomain";
inline constexpr const char* kFLPosixErrorDomain = "NSPOSIXErrorDomain";
inline constexpr const char* kFLCocoaErrorDomain = "NSCocoaErrorDomain";

struct FLError {
  QString domain;
  int code = 0;
  QString reason;

  static FLError withStatus(int code, const QString& reason) {
    return FLError{QString::fromLatin1(kFLOSStatusErrorDomain), code, reason};
  }
};

// Fills the caller's error when it asked for one; readers call this on every failure path.
inline void SetError(FLError* error, int code, const QString& reason,
                     const char* domain = kFLOSStatusErrorDomain) {
  if (error) *error = FLError{QString::fromLatin1(domain), code, reason};
}
