#include "script/sempti.h"

namespace qvm::script {

AnalysisResult analyseScript(const SyntaxNode*, const std::vector<SourceFileRecord>&, const AnalysisOptions&)
{
    AnalysisResult result;
    result.model = std::make_unique<sem::Model>();
    return result;
}

}  // namespace qvm::script
