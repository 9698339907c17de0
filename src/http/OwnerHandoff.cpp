#include "OwnerHandoff.h"

void OwnerHandoff::Detach() {
    std::lock_guard lk(M_);
    OwnerAlive_ = false;
}
