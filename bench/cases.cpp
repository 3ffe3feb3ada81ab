#include "cases.h"

namespace bench {

const std::vector<Case>& allCases() {
    static const std::vector<Case> cases = [] {
        std::vector<Case> all;
        addHandleCases(all);
        addAlternativeHandleCases(all);
        addArrayCases(all);
        addStringCases(all);
        addDumpCases(all);
        return all;
    }();
    return cases;
}

}  // namespace bench
