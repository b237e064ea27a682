#pragma once
// The proxy login as older versions stored it, plain, made scrambled once.
namespace kv {
class TRegistry;
}

// Proxy logins stored by older versions are plain: unless ProxyConverted says
// they are scrambled already, ProxyUserName and ProxyPassword are scrambled in
// place and ProxyConverted is written as the number 1. The flag counts when it
// is a non-zero number, or a text that reads as one the way the settings read
// their text values. Reg is open at the settings key; failures are swallowed,
// so the next call tries again.
void ConvertProxyLogin(kv::TRegistry &Reg);
