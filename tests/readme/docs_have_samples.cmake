# The guides' extension samples are the example extension's own code, word for word, so that they
# compile against a real PHP and run in its .phpt tests wherever one is configured.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/code_blocks.cmake)
code_block("${ZVAL_PAGE}" cpp "PHP_FUNCTION(corvane_increment)" increment)
code_block("${ZVAL_PAGE}" cpp "PHP_FUNCTION(corvane_sum)" sum)
code_block("${ZVAL_PAGE}" cpp "PHP_FUNCTION(corvane_raise)" raise)
code_block("${ZVAL_PAGE}" cpp "PHP_FUNCTION(corvane_dump)" dump)
require_paragraphs_in("${EXAMPLE}" "${increment}")
require_paragraphs_in("${EXAMPLE}" "${sum}")
require_paragraphs_in("${EXAMPLE}" "${raise}")
require_paragraphs_in("${EXAMPLE}" "${dump}")
code_block("${ARRAY_PAGE}" cpp "void sum(corvane::ZendArrayView values" nestedSum)
require_paragraphs_in("${EXAMPLE}" "${nestedSum}")
