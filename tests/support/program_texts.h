#pragma once
// The program's window captions and message texts, as the tests and the bench look for them.
#include "version.h"

constexpr const char* kMainCaption = QUORBANE_TITLE;
constexpr const char* kAboutCaption = "About Quorbane";
constexpr const char* kFindCaption = "Locate a Velotrix Controller";
constexpr const char* kSearchCaption = "Searching for Controller";
constexpr const char* kEditorCaption = "Velotrix Synchronizer Parameters";
constexpr const char* kLoadCaption = "Loading from Synchronizer";
constexpr const char* kSaveCaption = "Saving to Synchronizer";
constexpr const char* kFailureCaption = "FAILURE";
constexpr const char* kErrorCaption = "ERROR";
constexpr const char* kWarningCaption = "ERROR!";

constexpr const char* kNotFoundText = "Synchronizer Not Found";
constexpr const char* kBadData = "Bad Data in Synchronizer";
constexpr const char* kCantWrite = "Can't write to port";
constexpr const char* kMismatch = "Save failed (data doesn't match)";
constexpr const char* kWarningText = "Too many characters total";
constexpr const char* kComparingText = "Comparing ....";
