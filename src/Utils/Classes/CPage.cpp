#include "CPage.h"

namespace Utils::Classes {

CPage::~CPage() = default;

} // namespace Utils::Classes
