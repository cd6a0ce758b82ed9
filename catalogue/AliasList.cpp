#include "catalogue/AliasList.h"

#include "platform/bde/Session.h"
#include "platform/ibx/IBComponents.h"
#include "platform/rtl/StringList.h"
#include "platform/rtl/Text.h"

namespace catalogue {

void FillAliasList(TSession& session, TIBDatabase& IBDB,
                   const std::function<void(const std::string&)>& appendItem) {
    IBDB.SetParamValue("user_name", kUserName);
    IBDB.SetParamValue("password", kUserName);
    IBDB.SetLoginPrompt(false);

    TStringList aliasNames;
    TStringList params;
    session.GetAliasNames(aliasNames);
    const int count = aliasNames.Count();
    for (int i = 0; i < count; ++i) {
        // The engine's call empties the list too; this does not rely on it.
        while (params.Count() > 0) params.Delete(0);
        const std::string& alias = aliasNames.Strings(i);
        session.GetAliasParams(alias, params);
        const std::string driver = session.GetAliasDriverName(alias);
        if (!text::Contains(driver, kDriverPattern)) continue;
        if (text::Contains(params.Strings(1), kUserName)) appendItem(alias);
    }
}

}  // namespace catalogue
