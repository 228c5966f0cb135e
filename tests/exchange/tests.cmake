vendrix_core_test(archive_test exchange/archive_test.cpp)
vendrix_core_test(exchange_files_test exchange/export_file_test.cpp exchange/import_script_test.cpp
    exchange/import_sandbox_test.cpp exchange/import_backup_test.cpp)
# The import against a failing disk and foreign locks: a program of its own, since it puts a
# fault file system in front of SQLite's default one.
vendrix_core_test(import_faults_test exchange/import_faults_test.cpp)
target_compile_definitions(import_faults_test PRIVATE
    VENDRIX_OFFICE="${PROJECT_SOURCE_DIR}/examples/office")
vendrix_core_test(ftp_test exchange/ftp_test.cpp)
target_compile_definitions(ftp_test PRIVATE VENDRIX_CLI="$<TARGET_FILE:vendrix-cli>")
add_dependencies(ftp_test vendrix-cli)
# FTP over TLS against vsftpd, which needs root; without it those cases skip.
vendrix_core_test(ftp_tls_test exchange/ftp_tls_test.cpp)
# Hostile and broken office answers, and the way back through the companion.
vendrix_core_test(hostile_answer_test exchange/hostile_answer_test.cpp)
target_compile_definitions(hostile_answer_test PRIVATE VENDRIX_CLI="$<TARGET_FILE:vendrix-cli>")
add_dependencies(hostile_answer_test vendrix-cli)
