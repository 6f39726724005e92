// A registry that passes every call on to another one; a class derives from
// it and replaces the calls it watches or bends (tests, and the offline
// scanner's guard of the program's own settings key).
#pragma once

#include "platform/registry_service.h"

namespace qm {

class ForwardingRegistry : public RegistryService {
  public:
    explicit ForwardingRegistry(RegistryService& inner) : inner_(inner) {}
    Status OpenKey(HKey p, const char* s, uint32_t a, HKey* r) override {
        return inner_.OpenKey(p, s, a, r);
    }
    Status CreateKey(HKey p, const char* s, uint32_t a, HKey* r, bool* c) override {
        return inner_.CreateKey(p, s, a, r, c);
    }
    Status CloseKey(HKey k) override { return inner_.CloseKey(k); }
    Status EnumKey(HKey k, uint32_t i, char* n, uint32_t* ns) override {
        return inner_.EnumKey(k, i, n, ns);
    }
    Status EnumValue(HKey k, uint32_t i, char* n, uint32_t* ns, uint32_t* t, uint8_t* d,
                     uint32_t* ds) override {
        return inner_.EnumValue(k, i, n, ns, t, d, ds);
    }
    Status QueryInfoKey(HKey k, KeyInfo* i) override { return inner_.QueryInfoKey(k, i); }
    Status QueryValue(HKey k, const char* n, uint32_t* t, uint8_t* d, uint32_t* ds) override {
        return inner_.QueryValue(k, n, t, d, ds);
    }
    Status SetValue(HKey k, const char* n, uint32_t t, const uint8_t* d, uint32_t size) override {
        return inner_.SetValue(k, n, t, d, size);
    }
    Status DeleteValue(HKey k, const char* n) override { return inner_.DeleteValue(k, n); }
    Status DeleteKey(HKey p, const char* s) override { return inner_.DeleteKey(p, s); }
    Status DeleteTree(HKey p, const char* s) override { return inner_.DeleteTree(p, s); }
    Status Wow64Path(HKey r, const std::string& s, std::string* p) override {
        return inner_.Wow64Path(r, s, p);
    }
    const CodePage& codePage() const override { return inner_.codePage(); }
    Status KeyIdentity(HKey k, std::string* i) override { return inner_.KeyIdentity(k, i); }

  protected:
    RegistryService& inner_;
};

}  // namespace qm
