#pragma once
// The stored customer details, the installed catalogue version and the state
// of an update download, all below the settings key.
#include <string>

// Leaves both outputs alone when the "User Details" key is missing; clears
// both when a read fails.
void ReadUserDetails(std::string &CustomerID, std::string &Password);
void WriteUserDetails(const std::string &CustomerID, const std::string &Password);
std::string GetCustomerID();
bool HasCustomerID();
// The stored version, raised to the catalogue's own when lower.
int CheckLibraryVersion();
void SetLibraryVersion(int Version);
void SetDownloadStarted();
void SetDownloadEnded();
// The customer text handed to the catalogue for the site libraries.
std::string CustomerDetailsText(const std::string &CustomerID, const std::string &Password);
