// The product's error numbers that the query language raises, by name
// (jet/error.h holds those the storage engine shares).
#pragma once

#include "jet/error.h"

namespace sql::err {

// names and grouping
constexpr int kAmbiguousField = 3079;          // a field could refer to more than one table
constexpr int kOrderByConflictsDistinct = 3093;
constexpr int kAggregateNotAllowed = 3096;     // aggregate inside an aggregate, GROUP BY or WHERE
constexpr int kCircularReference = 3103;       // alias or saved query refers to itself
constexpr int kTransformNeedsAggregate = 3118;
constexpr int kGroupOnStar = 3120;             // cannot group on fields selected with '*'
constexpr int kNotInAggregate = 3122;          // field neither grouped nor aggregated
constexpr int kInvalidStatement = 3129;        // not SELECT, INSERT, UPDATE, DELETE, ...
constexpr int kJoinSyntax = 3135;
constexpr int kSubqueryManyFields = 3306;      // subquery gives more than one field
constexpr int kUnionColumnCount = 3307;
constexpr int kSubqueryManyRows = 3354;        // scalar subquery gave more than one row
constexpr int kUnionOrderBy = 3639;            // ORDER BY names a field the union does not give
constexpr int kBadBookmark = 3159;

// action queries and data definition
constexpr int kActionAsSource = 3065;          // cannot run a SELECT as an action
constexpr int kDuplicateDestination = 3066;    // a destination field named twice
constexpr int kNotUpdatable = 3073;            // operation must use an updatable query
constexpr int kFieldNotUpdatable = 3113;       // cannot update the field
constexpr int kUnknownInsertField = 3127;      // INSERT INTO names an unknown field
constexpr int kDeleteTableUnknown = 3128;      // specify the table to delete from
using jet::err::kTableFieldCount;
using jet::err::kFieldExists;
constexpr int kFieldInIndex = 3280;            // cannot delete a field that is part of an index
using jet::err::kPrimaryExists;
constexpr int kValueCountMismatch = 3346;      // values and destination fields differ in number
constexpr int kIndexExists = 3375;             // the table already has an index of that name

}  // namespace sql::err
