--TEST--
C++ code raises PHP 8's ValueError
--SKIPIF--
<?php if (PHP_VERSION_ID < 80000) echo "skip ValueError is PHP 8's";
--FILE--
<?php
try {
    corvane_raise("ValueError", "out of range");
} catch (ValueError $e) {
    echo get_class($e), ": ", $e->getMessage(), "\n";
    var_dump($e instanceof Error);
}
?>
--EXPECT--
ValueError: out of range
bool(true)
