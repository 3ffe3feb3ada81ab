--TEST--
assign() into a typed property (PHP 8.2): checked and coerced as PHP does, the new value stored before the old one goes
--SKIPIF--
<?php if (PHP_VERSION_ID < 80000) echo "skip typed properties are PHP 8's"; ?>
--FILE--
<?php
class Node {
    public function __construct(public string $name, public ?object $holder = null) {}
    public function __destruct() {
        if (!$this->holder) { echo "{$this->name} goes\n"; return; }
        echo "{$this->name} goes, the property holds ", $this->holder->node?->name ?? "nothing", "\n";
        $this->holder->node = new Node("written by {$this->name}");
    }
}
class Holder { public ?Node $node = null; public int $count = 0; }

// The untyped variable as PHP's own $r = ... leaves it, then the typed property through assign().
function php_assign(&$r, $v) { $r = $v; }
$plain = new stdClass;
$plain->node = new Node("old plain", null);
$plain->node->holder = $plain;
php_assign($plain->node, new Node("new plain"));
echo "plain ends with: {$plain->node->name}\n";

$h = new Holder;
$h->node = new Node("old typed", $h);
corvane_assign($h->node, new Node("new typed"));
echo "typed ends with: {$h->node->name}\n";

corvane_assign($h->count, "5");
var_dump($h->count);
try { corvane_assign($h->count, "five"); } catch (TypeError $e) { echo get_class($e), ": ", $e->getMessage(), "\n"; }
var_dump($h->count);
?>
--EXPECT--
old plain goes, the property holds new plain
new plain goes
plain ends with: written by old plain
old typed goes, the property holds new typed
new typed goes
typed ends with: written by old typed
int(5)
TypeError: Cannot assign string to reference held by property Holder::$count of type int
int(5)
written by old typed goes
written by old plain goes
