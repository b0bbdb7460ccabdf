// Matching of a value against a C type: structures, unions, arrays and
// scalars, and the expansion of a whole value over its type.
#include "canalysis/declarations/cexpr.h"
#include "diag/i18nerrgest.h"
#include "script/ancgest.h"
#include "script/panalc.h"
#include "script/panalc_value_detail.h"

#include <algorithm>
#include <cstdlib>
#include <ranges>
#include <vector>

namespace qvm::script::value {

namespace {

using canalysis::CType;
using canalysis::Field;

const char* const kWholeMessage = "trv_msgrcv";

// Levels of aggregates a value tree may hold (types nested deeper are
// refused like a too deep C expression): the trees are built and walked by
// recursion.
constexpr int kMaxValueDepth = canalysis::kShallowTree;

bool isAggregate(const CType* resolved)
{
    return resolved != nullptr && (resolved->kind == canalysis::kStruct || resolved->kind == canalysis::kUnion);
}

bool isCharArray(const CType* type)
{
    return expressionClassOfType(type) == kClassCharArray;
}

// Arrays other than character arrays take their values element by element.
bool isElementArray(const CType* resolved)
{
    return resolved != nullptr && resolved->kind == canalysis::kArray && !isCharArray(resolved);
}

const std::vector<Field>& fieldsOf(const CType* resolved)
{
    static const std::vector<Field> none;
    return resolved->aggregate != nullptr ? resolved->aggregate->fields : none;
}

// A field's name as a view of its identifier, "" for an unnamed one.
std::string_view nameOf(const Field& field)
{
    return field.name != nullptr ? std::string_view(field.name) : std::string_view();
}

// A member as the value sees it: members of unnamed structures and unions
// belong to the enclosing aggregate.
struct Member {
    const Field* field = nullptr;
    std::string_view name;
};

// The members that take positional values, in order: an unnamed structure
// gives its own members, an unnamed union its first one.
void collectPositional(const CType* resolved, std::vector<Member>& members)
{
    for (const Field& field : fieldsOf(resolved)) {
        const CType* fieldType = canalysis::C_CPP_resolve(field.type.get());
        if (field.name != nullptr || !isAggregate(fieldType)) {
            members.push_back({&field, nameOf(field)});
        } else if (fieldType->kind == canalysis::kStruct) {
            collectPositional(fieldType, members);
        } else if (!fieldsOf(fieldType).empty()) {
            std::vector<Member> alternatives;
            collectPositional(fieldType, alternatives);
            if (!alternatives.empty()) {
                members.push_back(alternatives.front());
            }
        }
    }
}

// The member of that name, also inside unnamed members; nothing when absent.
const Field* findMember(const CType* resolved, base::Ident name)
{
    if (name == nullptr) {
        return nullptr;
    }
    for (const Field& field : fieldsOf(resolved)) {
        if (field.name == name) {
            return &field;
        }
    }
    for (const Field& field : fieldsOf(resolved)) {
        const CType* fieldType = canalysis::C_CPP_resolve(field.type.get());
        if (field.name == nullptr && isAggregate(fieldType)) {
            if (const Field* inner = findMember(fieldType, name)) {
                return inner;
            }
        }
    }
    return nullptr;
}

// A field name, or an enumeration constant that may also name a member.
bool namesMember(const Designator& designator)
{
    return designator.kind == Designator::Field || designator.kind == Designator::Index;
}

// The position of a directly named member, or -1.
int memberPosition(const CType* resolved, std::string_view name)
{
    const std::vector<Field>& fields = fieldsOf(resolved);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (fields[i].name != nullptr && nameOf(fields[i]) == name) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// A node made, with where its children went among the nodes finished: they
// are moved to the tree's storage once every node is made.
struct MadeNode {
    ValueNode node;              // its children, text and bounds are placed with it in the tree
    std::string_view text;       // see ValueNode::text
    ValueBounds bounds;          // bounded only
    std::size_t firstChild = 0;  // in the finished nodes
    std::size_t childCount = 0;
};

// Where the texts viewed in the value text read are in the tree's copy of
// the part viewed.
class TextCopy {
public:
    TextCopy(std::string_view source, std::string_view viewed, const char* copy)
        : source_(source), first_(static_cast<std::size_t>(viewed.data() - source.data())), copy_(copy)
    {
    }

    std::string_view of(std::string_view view) const
    {
        if (view.empty()) {
            return {};
        }
        const auto offset = static_cast<std::size_t>(view.data() - source_.data());
        return {copy_ + (offset - first_), view.size()};
    }

private:
    std::string_view source_;
    std::size_t first_;  // where the copy starts in source
    const char* copy_;
};

// The lists a match works in, kept with their room from one value to the
// next: every value of the script is matched on the same thread.
struct MatchRoom {
    std::vector<Member> positional;
    std::vector<std::string_view> designated;
    std::vector<MadeNode> pending;
    std::vector<MadeNode> finished;

    void clear()
    {
        positional.clear();
        designated.clear();
        pending.clear();
        finished.clear();
    }

    // The room of an unusually large value goes back once it is stored.
    void keepSmall()
    {
        constexpr std::size_t kKeptNodes = 1024;
        if (finished.capacity() > kKeptNodes || pending.capacity() > kKeptNodes ||
            positional.capacity() > kKeptNodes || designated.capacity() > kKeptNodes) {
            *this = MatchRoom();
        }
    }
};

class Matcher {
public:
    Matcher(const Place& place, MatchRoom& room)
        : place_(place), positional_(room.positional), designated_(room.designated), pending_(room.pending),
          finished_(room.finished)
    {
        room.clear();
    }

    MadeNode match(const ValueSyntax& value, const CType* type, const Field* field)
    {
        const Nesting nesting(depth_);
        if (depth_ > kMaxValueDepth) {
            return tooDeep(type, field);
        }
        const CType* resolved = canalysis::C_CPP_resolve(type);
        switch (value.kind) {
        case ValueSyntax::Scalar:
            return matchScalar(value, type, resolved, field);
        case ValueSyntax::Bounded:
            return matchBounded(value, type, resolved, field);
        case ValueSyntax::List:
            break;
        }
        if (resolved != nullptr && resolved->kind == canalysis::kStruct) {
            return matchStructure(value, type, resolved, field);
        }
        if (resolved != nullptr && resolved->kind == canalysis::kUnion) {
            return matchUnion(value, type, resolved, field);
        }
        if (resolved != nullptr && resolved->kind == canalysis::kArray) {
            return matchArray(value, type, resolved, field);
        }
        return incompatible(value.text, type, field);
    }

    int deepestArrays() const { return deepestArrays_; }

    // The nodes into the block of the tree, the top node first, each pointed
    // at its children and its bounds; their texts, views of the texts read,
    // become views of the block's copy.
    void store(MadeNode& top, const TreeTexts& source, ValueTree& tree)
    {
        const std::string_view viewed = viewedPart(top, source.value);
        const auto bounded = [](const MadeNode& made) { return made.node.kind == ValueKind::Bounded; };
        const auto boundsCount = static_cast<std::size_t>(bounded(top)) +
                                 static_cast<std::size_t>(std::ranges::count_if(finished_, bounded));
        const ValueTreeBlock block(finished_.size() + 1, boundsCount, source.keyword, source.variable,
                                   viewed.size(), tree);
        std::copy(viewed.begin(), viewed.end(), block.chars());
        const TextCopy texts(source.value, viewed, block.chars());
        ValueNode* const nodes = block.nodes();
        ValueBounds* bounds = block.bounds();
        const auto place = [&](ValueNode& node, const MadeNode& made) {
            node = made.node;
            node.placeChildren(nodes + 1 + made.firstChild, made.childCount);
            node.placeText(texts.of(made.text));
            if (bounded(made)) {
                *bounds = {texts.of(made.bounds.lower), texts.of(made.bounds.upper)};
                node.placeBounds(bounds++);
            }
        };
        place(nodes[0], top);
        for (std::size_t i = 0; i < finished_.size(); ++i) {
            place(nodes[i + 1], finished_[i]);
        }
    }

private:
    // The lists of the structure values nested in each other are kept one
    // above the other: each level uses the part above where it found them,
    // and leaves them as it found them.
    class ListLevel {
    public:
        explicit ListLevel(Matcher& matcher)
            : matcher_(matcher), positional(matcher.positional_.size()), designated(matcher.designated_.size())
        {
        }
        ~ListLevel()
        {
            matcher_.positional_.resize(positional);
            matcher_.designated_.resize(designated);
        }
        ListLevel(const ListLevel&) = delete;
        ListLevel& operator=(const ListLevel&) = delete;

    private:
        Matcher& matcher_;

    public:
        const std::size_t positional;  // where this level's part starts
        const std::size_t designated;
    };

    // The children of one node while they are made: stacked above those of
    // the nodes around it, and finished side by side. The children of a
    // node given up (a report that ends the run) are dropped with it.
    class Children {
    public:
        explicit Children(Matcher& matcher) : matcher_(matcher), begin_(matcher.pending_.size()) {}
        ~Children() { matcher_.pending_.resize(begin_); }
        Children(const Children&) = delete;
        Children& operator=(const Children&) = delete;

        void add(MadeNode child) { matcher_.pending_.push_back(std::move(child)); }

        // The node with its children moved to the finished nodes.
        MadeNode finish(MadeNode parent)
        {
            std::vector<MadeNode>& pending = matcher_.pending_;
            std::vector<MadeNode>& finished = matcher_.finished_;
            parent.firstChild = finished.size();
            parent.childCount = pending.size() - begin_;
            const auto first = pending.begin() + static_cast<std::ptrdiff_t>(begin_);
            finished.insert(finished.end(), std::make_move_iterator(first), std::make_move_iterator(pending.end()));
            pending.erase(first, pending.end());
            return parent;
        }

    private:
        Matcher& matcher_;
        const std::size_t begin_;  // where this node's children start among the pending ones
    };

    // The part of the value text that the nodes view, from the first text
    // to the end of the last.
    std::string_view viewedPart(const MadeNode& top, std::string_view value) const
    {
        std::size_t first = value.size();
        std::size_t end = 0;
        const auto cover = [&](std::string_view view) {
            if (!view.empty()) {
                const auto offset = static_cast<std::size_t>(view.data() - value.data());
                first = std::min(first, offset);
                end = std::max(end, offset + view.size());
            }
        };
        const auto coverNode = [&cover](const MadeNode& made) {
            cover(made.text);
            cover(made.bounds.lower);
            cover(made.bounds.upper);
        };
        coverNode(top);
        for (const MadeNode& made : finished_) {
            coverNode(made);
        }
        return first < end ? value.substr(first, end - first) : value.substr(0, 0);
    }

    MadeNode withChild(MadeNode parent, MadeNode child)
    {
        Children children(*this);
        children.add(std::move(child));
        return children.finish(std::move(parent));
    }

    // Counts the levels of the tree being built while it lives.
    class Nesting {
    public:
        explicit Nesting(int& depth) : depth_(depth) { ++depth_; }
        ~Nesting() { --depth_; }
        Nesting(const Nesting&) = delete;
        Nesting& operator=(const Nesting&) = delete;

    private:
        int& depth_;
    };

    MadeNode tooDeep(const CType* type, const Field* field)
    {
        if (!reportedTooDeep_) {
            diag::reportLocated(diag::Warning, "EXPERRONE", "", place_.file, place_.line);
            reportedTooDeep_ = true;
        }
        return nodeOf(ValueKind::Scalar, type, field);
    }

    MadeNode nodeOf(ValueKind kind, const CType* type, const Field* field) const
    {
        return nodeOf(kind, type, field, expressionClassOfType(type));
    }

    // The field names are identifiers of the C analysis, and the type
    // images are made identifiers: the run's table keeps both.
    MadeNode nodeOf(ValueKind kind, const CType* type, const Field* field, int cls) const
    {
        MadeNode made;
        ValueNode& node = made.node;
        node.kind = kind;
        node.cls = static_cast<std::int8_t>(cls);
        std::string image = canalysis::C_CPP_type_image(type);
        if (field != nullptr) {
            node.fieldId = field->name;
            if (field->width != nullptr) {
                image += " : ";
                image += std::string_view(field->width);
            }
        }
        node.typeId = base::ident(image);
        return made;
    }

    MadeNode incompatible(std::string_view text, const CType* type, const Field* field)
    {
        diag::reportLocated(diag::Error, "INCOMPTYP", text, place_.file, place_.line);
        return nodeOf(ValueKind::Scalar, type, field);
    }

    enum class Fit { Fits, Incompatible, OutOfRange };

    // Whether a value fits where a value of class expected (and type
    // resolved) is wanted; NONIL only fits a pointer, and a null pointer
    // constant (NIL, 0) fits every pointer. A numeric constant must keep its
    // bits in an integer type: the check casts both sides to the type.
    Fit fits(int expected, const CType* resolved, std::string_view text) const
    {
        const bool pointer = expected == kClassString || expected == kClassPointer;
        if (pointer && isNullPointerConstant(text)) {
            return Fit::Fits;
        }
        TypedValue found = typeOperandText(text, place_);
        if (found.cls == kClassNonNil) {
            return pointer ? Fit::Fits : Fit::Incompatible;
        }
        if (isAggregate(resolved)) {
            const CType* foundType = canalysis::C_CPP_resolve(found.type.get());
            const bool same = isAggregate(foundType) && foundType->kind == resolved->kind &&
                              foundType->aggregate == resolved->aggregate;
            return same ? Fit::Fits : Fit::Incompatible;
        }
        if (!compatibleClasses(expected, found.cls)) {
            return Fit::Incompatible;
        }
        if (found.type == nullptr && !found.constant && isNarrowInteger(resolved)) {
            found = typeValueText(text, place_);  // a small number typed without its value
        }
        if (!found.constant || canalysis::C_CPP_constant_kept(resolved, *found.constant, true)) {
            return Fit::Fits;
        }
        return found.constant->kind == canalysis::kConstInteger ? Fit::OutOfRange : Fit::Incompatible;
    }

    // An integer type narrower than the numbers typed without their value.
    static bool isNarrowInteger(const CType* resolved)
    {
        constexpr int kPlainNumberBits = 16;
        return resolved != nullptr && resolved->kind == canalysis::kBasic && resolved->size != 0 &&
               std::abs(resolved->size) < kPlainNumberBits;
    }

    // The value that does not fit, reported; the node stands all the same.
    MadeNode misfit(Fit fit, std::string_view text, const CType* type, const Field* field)
    {
        if (fit == Fit::OutOfRange) {
            diag::reportLocated(diag::Warning, "ENTOUTRAN", text, place_.file, place_.line);
            return nodeOf(ValueKind::Scalar, type, field);
        }
        return incompatible(text, type, field);
    }

    MadeNode matchScalar(const ValueSyntax& value, const CType* type, const CType* resolved, const Field* field)
    {
        const bool aggregate = isAggregate(resolved) || isElementArray(resolved);
        if (value.text == kWholeMessage) {
            return wholeValue(value.text, type, field);
        }
        const int expected = expressionClassOfType(type);
        if (const Fit fit = fits(expected, resolved, value.text); fit != Fit::Fits) {
            return misfit(fit, value.text, type, field);
        }
        if (aggregate) {
            return wholeValue(value.text, type, field);
        }
        MadeNode made = nodeOf(ValueKind::Scalar, type, field, expected);
        made.text = value.text;
        return made;
    }

    MadeNode matchBounded(const ValueSyntax& value, const CType* type, const CType* resolved, const Field* field)
    {
        if (isAggregate(resolved) || isElementArray(resolved)) {
            return incompatible(value.text, type, field);
        }
        const int expected = expressionClassOfType(type);
        for (const std::string_view* bound : {&value.lower, &value.upper}) {
            if (const Fit fit = bound->empty() ? Fit::Fits : fits(expected, resolved, *bound); fit != Fit::Fits) {
                return misfit(fit, *bound, type, field);
            }
        }
        MadeNode made = nodeOf(ValueKind::Bounded, type, field, expected);
        made.bounds = {value.lower, value.upper};
        return made;
    }

    MadeNode matchStructure(const ValueSyntax& list, const CType* type, const CType* resolved, const Field* field)
    {
        MadeNode node = nodeOf(ValueKind::Structure, type, field);
        const ListLevel level(*this);
        Children children(*this);
        // Only positional values and OTHERS need the members in order.
        const auto byPosition = [](const ElementSyntax& element) {
            return element.designator.kind == Designator::None || element.designator.kind == Designator::Others;
        };
        if (std::ranges::any_of(list.elements, byPosition)) {
            collectPositional(resolved, positional_);
        }
        const std::size_t positionalEnd = positional_.size();
        std::size_t next = level.positional;
        for (const ElementSyntax& element : list.elements) {
            const Designator& designator = element.designator;
            if (designator.kind == Designator::None) {
                if (next >= positionalEnd) {
                    diag::reportLocated(diag::Error, "NBVALINCO", list.text, place_.file, place_.line);
                    break;
                }
                const Field* member = positional_[next++].field;
                children.add(match(element.value, member->type.get(), member));
            } else if (designator.kind == Designator::Others) {
                // The lists grow and shrink back under the values matched here.
                const std::size_t designatedEnd = designated_.size();
                // Taken afresh at each use: the values matched below may move the list.
                const auto designatedBegin = [&] {
                    return designated_.begin() + static_cast<std::ptrdiff_t>(level.designated);
                };
                const auto designatedStop = [&] {
                    return designated_.begin() + static_cast<std::ptrdiff_t>(designatedEnd);
                };
                std::sort(designatedBegin(), designatedStop());
                for (std::size_t i = level.positional; i < positionalEnd; ++i) {
                    const Member member = positional_[i];
                    if (!std::binary_search(designatedBegin(), designatedStop(), member.name)) {
                        children.add(match(element.value, member.field->type.get(), member.field));
                    }
                }
            } else if (const Field* member =
                           namesMember(designator) ? findMember(resolved, designator.name) : nullptr) {
                designated_.push_back(designator.text);
                children.add(match(element.value, member->type.get(), member));
            } else {
                diag::reportLocated(diag::Warning, "CHAMPINCO", designator.text, place_.file, place_.line);
            }
        }
        return children.finish(std::move(node));
    }

    MadeNode matchUnion(const ValueSyntax& list, const CType* type, const CType* resolved, const Field* field)
    {
        MadeNode node = nodeOf(ValueKind::Union, type, field);
        const Designator& designator = list.elements.front().designator;
        const bool oneMember = designator.kind == Designator::None || namesMember(designator);
        if (list.elements.size() != 1 || !oneMember) {
            diag::reportLocated(diag::Error, "ONEFLDUNN", list.text, place_.file, place_.line);
            return node;
        }
        const int position = designator.kind == Designator::None ? 0 : memberPosition(resolved, designator.text);
        if (position < 0 || static_cast<std::size_t>(position) >= fieldsOf(resolved).size()) {
            const std::string_view name = designator.kind == Designator::None ? list.text : designator.text;
            diag::reportLocated(diag::Warning, "CHAMPINCO", name, place_.file, place_.line);
            return node;
        }
        const Field& member = fieldsOf(resolved)[static_cast<std::size_t>(position)];
        node.node.selectedMember = position;
        return withChild(std::move(node), match(list.elements.front().value, member.type.get(), &member));
    }

    // Called while the array's elements are matched: arrayDepth_ counts the
    // arrays around them.
    MadeNode arrayNode(const CType* type, const CType* resolved, const Field* field)
    {
        deepestArrays_ = std::max(deepestArrays_, arrayDepth_);
        MadeNode made = nodeOf(ValueKind::Array, type, field);
        made.node.lowerIndex = 0;
        const std::string_view dimension =
            resolved->dimension != nullptr ? std::string_view(resolved->dimension) : std::string_view();
        made.node.upperIndex = elementCountOf(dimension) - 1;
        return made;
    }

    static MadeNode rangeNode(long long first, long long last)
    {
        MadeNode made;
        made.node.kind = ValueKind::IndexRange;
        made.node.lowerIndex = first;
        made.node.upperIndex = last;
        return made;
    }

    MadeNode matchArray(const ValueSyntax& list, const CType* type, const CType* resolved, const Field* field)
    {
        const Nesting arrays(arrayDepth_);
        MadeNode node = arrayNode(type, resolved, field);
        const long long lower = node.node.lowerIndex;
        const long long upper = node.node.upperIndex;
        Children ranges(*this);
        const CType* element = resolved->target.get();
        long long position = 0;
        for (const ElementSyntax& item : list.elements) {
            const Designator& designator = item.designator;
            MadeNode range = rangeNode(position, position);
            if (designator.kind == Designator::None) {
                ++position;
            } else if (designator.kind == Designator::Others) {
                range = rangeNode(lower, upper);
                range.node.others = true;
            } else if (designator.evaluated) {
                range = rangeNode(designator.first, designator.last);
            } else if (const auto index = evaluateIndex(designator.text, place_, true)) {
                range = rangeNode(*index, *index);
            } else {
                continue;
            }
            ranges.add(withChild(std::move(range), match(item.value, element, nullptr)));
        }
        return ranges.finish(std::move(node));
    }

    // The whole type below a value given for it as a whole.
    MadeNode wholeValue(std::string_view text, const CType* type, const Field* field)
    {
        MadeNode made = expandWhole(type, field);
        made.text = text;
        return made;
    }

    MadeNode expandWhole(const CType* type, const Field* field)
    {
        const Nesting nesting(depth_);
        const CType* resolved = canalysis::C_CPP_resolve(type);
        MadeNode made;
        if (depth_ > kMaxValueDepth) {
            made = tooDeep(type, field);
        } else if (isAggregate(resolved)) {
            made = expandMembers(type, resolved, field);
        } else if (isElementArray(resolved)) {
            const Nesting arrays(arrayDepth_);
            made = arrayNode(type, resolved, field);
            MadeNode range = rangeNode(made.node.lowerIndex, made.node.upperIndex);
            range.node.wholeValue = true;
            MadeNode element = withChild(std::move(range), expandWhole(resolved->target.get(), nullptr));
            made = withChild(std::move(made), std::move(element));
        } else {
            made = nodeOf(ValueKind::Scalar, type, field);
        }
        made.node.wholeValue = true;
        return made;
    }

    MadeNode expandMembers(const CType* type, const CType* resolved, const Field* field)
    {
        const bool isUnion = resolved->kind == canalysis::kUnion;
        MadeNode node = nodeOf(isUnion ? ValueKind::Union : ValueKind::Structure, type, field);
        std::vector<Member> members;
        if (isUnion) {
            for (const Field& member : fieldsOf(resolved)) {
                members.push_back({&member, nameOf(member)});
            }
        } else {
            collectNamed(resolved, members);
        }
        Children children(*this);
        for (const Member& member : members) {
            children.add(expandWhole(member.field->type.get(), member.field));
        }
        return children.finish(std::move(node));
    }

    // Every named member, those of unnamed members included.
    static void collectNamed(const CType* resolved, std::vector<Member>& members)
    {
        for (const Field& field : fieldsOf(resolved)) {
            const CType* fieldType = canalysis::C_CPP_resolve(field.type.get());
            if (field.name == nullptr && isAggregate(fieldType)) {
                collectNamed(fieldType, members);
            } else if (field.name != nullptr) {
                members.push_back({&field, nameOf(field)});
            }
        }
    }

    const Place& place_;
    int depth_ = 0;
    int arrayDepth_ = 0;     // arrays around the value being matched, see arrayNode
    int deepestArrays_ = 0;  // the most on one path
    bool reportedTooDeep_ = false;
    std::vector<Member>& positional_;
    std::vector<std::string_view>& designated_;
    std::vector<MadeNode>& pending_;
    std::vector<MadeNode>& finished_;
};

}  // namespace

int matchValue(const ValueSyntax& value, const TreeTexts& texts, const CType* type, const Place& place,
               ValueTree& tree)
{
    thread_local MatchRoom room;
    Matcher matcher(place, room);
    MadeNode top = matcher.match(value, type, nullptr);
    matcher.store(top, texts, tree);
    room.keepSmall();
    return matcher.deepestArrays();
}

}  // namespace qvm::script::value
