// Local tables, product settings reads and version bookkeeping.
#pragma once

#include <string>

#include "startup/shared_state.h"

namespace quillmend {

// Creates 버전파일 and 버전파일개별 when missing (dialect by g_AutoIncDb). Throws DbError.
void CreateVersionTables(SharedState& state);
// Sets g_CustomerCode (and the window's customer label) from the product settings. Throws DbError.
void GetCustomerCode(SharedState& state);
// Derives g_InstalledVersion, the version a pass starts from: the older (db/version_order.h) of
// the product's recorded version and [Version] Last; Last alone when the recorded version is
// missing, NULL or blank. Then reads the customer code. Throws DbError.
void GetInstalledVersion(SharedState& state);
// Files the support record "Ver " + Last + " 업데이트 완료", then raises the product's recorded
// version to [Version] Last when every "syssVersionno" row of the latest date is older in
// version order (or there is none). Ignores every failure statement by statement.
void UpdateProductVersion(SharedState& state);
// Completes what a pass ended between storing a version as [Version] Last and raising the
// product's version left undone (the agent ended in between): when there are "syssVersionno"
// rows of the latest date and all are older than Last, files the support record unless the CRM
// holds this workstation's already, and raises them. One query otherwise. Ignores every failure.
// An online pass calls it before it applies anything: once it stores a newer Last, nothing
// would show what was left undone.
void CompleteInterruptedVersion(SharedState& state);
// Adds a 버전파일개별 row (전송여부 "N") for a program applied offline. Throws DbError.
void AddVersionFileRecord(SharedState& state, const std::string& version,
                          const std::string& program_name, const std::string& program_version,
                          const std::string& state_text);

// The no-downgrade rule of the update loops: true when version comes after [Version] Last (the
// version this workstation last applied whole) in version order. Otherwise logs that the version
// is passed over and returns false: a version that is not newer is never applied. Never throws.
bool IsNewerThanInstalled(const SharedState& state, const std::string& version);

// The statements of UpdateProductVersion: the recorded versions of the latest date, and the
// raise to last (quotes in it doubled).
std::string ProductVersionQuery();
std::string ProductVersionUpdate(const std::string& last);

}  // namespace quillmend
