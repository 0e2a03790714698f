// Engine errors. Every failure the engine reports carries the product's error
// number (the numbers users of the real product know, e.g. 3024, 3343) and a
// message. This is the one error style of jet/ and sql/: throw jet::Error.
#pragma once

#include <stdexcept>
#include <string>

namespace jet {

namespace err {
constexpr int kNoCurrentRecord = 3021;      // "No current record."
constexpr int kDuplicateKey = 3022;
constexpr int kFileNotFound = 3024;
constexpr int kReadOnlyRecordset = 3027;
constexpr int kBadPassword = 3031;
constexpr int kAlreadyInUse = 3045;
constexpr int kCorrupt = 3049;              // cannot open, may be corrupt
constexpr int kCannotOpenFile = 3051;
constexpr int kTooFewParameters = 3061;
constexpr int kNoSuchObject = 3078;         // input table or query not found
constexpr int kUndefinedFunction = 3085;
constexpr int kFieldTooSmall = 3163;
constexpr int kItemNotFound = 3265;
constexpr int kRequiredNull = 3314;
constexpr int kUnrecognizedFormat = 3343;
constexpr int kTypeConversion = 3421;
constexpr int kDataTypeMismatch = 3464;
constexpr int kInvalidFieldType = 3259;    // the field's type is not allowed here
constexpr int kNotSupported = 3251;         // operation not supported
constexpr int kSyntax = 3075;               // syntax error in query expression
constexpr int kIoError = 3043;              // disk or network error
constexpr int kNoChange = 3034;             // commit or rollback without a change under way
constexpr int kObjectExists = 3012;         // an object of that name already exists
constexpr int kRelatedRecords = 3200;       // a key that related records use cannot be deleted or changed
constexpr int kRelatedRecordRequired = 3201;  // a foreign key must match a record of the referenced table
constexpr int kInvalidProcedureCall = 5;    // "Invalid procedure call or argument." (functions)
constexpr int kOutOfMemory = 7;
constexpr int kInvalidUseOfNull = 94;
constexpr int kReservedError = 3000;        // a failure without a number of its own
constexpr int kInvalidArgument = 3001;
constexpr int kTableExists = 3010;
constexpr int kNoAddNewOrEdit = 3020;       // Update or CancelUpdate without AddNew or Edit
constexpr int kInvalidName = 3125;
constexpr int kFieldCannotBeUpdated = 3164;
constexpr int kTableFieldCount = 3190;      // a table needs 1 to 255 fields
constexpr int kFieldExists = 3191;          // field defined more than once
constexpr int kDatabaseExists = 3204;
constexpr int kPrimaryExists = 3283;        // primary key already exists
constexpr int kNumericOverflow = 3349;
constexpr int kObjectInvalid = 3420;        // object invalid or no longer set
constexpr int kNoUniqueIndex = 3377;        // no unique index on the referenced fields of a relationship
}  // namespace err

class Error : public std::runtime_error {
 public:
  Error(int number, const std::string& message)
      : std::runtime_error(message), number_(number) {}
  int number() const { return number_; }

 private:
  int number_;
};

// Shorthand for the most common failure: structure read from the file does not
// hold together.
[[noreturn]] inline void corrupt(const std::string& what) {
  throw Error(err::kCorrupt, "The database file is damaged: " + what + ".");
}

}  // namespace jet
